#include "device/DeviceListReply.h"

#include <string.h>

namespace touch {

DeviceListRequest MakeDeviceListRequest(uint32_t capacity)
{
    DeviceListRequest request;
    memset(&request, 0, sizeof(request));
    request.header.reserved = 0;
    request.header.count = capacity;
    return request;
}

bool DeviceListReplyBytes(uint32_t capacity, uint32_t* bytes)
{
    if (capacity > kMaxDeviceCount)
        return false;
    const uint64_t total = sizeof(DeviceListHeader) + uint64_t(capacity) * sizeof(DeviceListEntry);
    *bytes = static_cast<uint32_t>(total);
    return true;
}

bool ReadDeviceListReply(const void* reply, size_t replySize, uint32_t bytesReturned, uint32_t capacity,
                         DeviceListEntry* entries, uint32_t* count)
{
    *count = 0;
    uint32_t expected = 0;
    if (reply == nullptr || entries == nullptr || !DeviceListReplyBytes(capacity, &expected))
        return false;
    if (bytesReturned != expected || bytesReturned > replySize)
        return false;

    // The reply may sit at any alignment: fields are copied out byte-wise. The first word
    // (reserved) is not read.
    const unsigned char* bytes = static_cast<const unsigned char*>(reply);
    DeviceListHeader header;
    memcpy(&header, bytes, sizeof(header));
    if (header.count > capacity)
        return false;

    const unsigned char* record = bytes + sizeof(DeviceListHeader);
    for (uint32_t i = 0; i < header.count; ++i, record += sizeof(DeviceListEntry)) {
        DeviceListEntry& out = entries[i];
        memset(&out, 0, sizeof(out));
        memcpy(&out.deviceId, record, sizeof(out.deviceId));
        const unsigned char* name = record + sizeof(out.deviceId);
        for (uint32_t u = 0; u + 1 < kObjectNameUnits; ++u) {
            uint16_t unit;
            memcpy(&unit, name + u * sizeof(uint16_t), sizeof(unit));
            if (unit == 0)
                break;
            out.objectName[u] = unit;
        }
    }
    *count = header.count;
    return true;
}

} // namespace touch
