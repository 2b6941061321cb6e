// Building the IOCTL_TOUCH_GET_DEVICE_LIST request and checking and reading its reply.
// Portable: the caller does the DeviceIoControl and checks that the call itself succeeded.
#pragma once

#include "device/TouchProtocol.h"

#include <stddef.h>

namespace touch {

#pragma pack(push, 1)
// Header with reserved 0 and count n, then one zeroed entry.
struct DeviceListRequest {
    DeviceListHeader header;
    DeviceListEntry first;
};
#pragma pack(pop)
static_assert(sizeof(DeviceListRequest) == kDeviceListRequestBytes, "request size");

DeviceListRequest MakeDeviceListRequest(uint32_t capacity);

// The most controllers a driver may report. A count above it is a driver's fault, not a list to
// allocate and show: asking for it fails as invalid data.
constexpr uint32_t kMaxDeviceCount = 256;

// Bytes of the reply buffer for `capacity` entries (8 + 404 x capacity). False for a capacity
// above kMaxDeviceCount; such a count cannot be asked for.
bool DeviceListReplyBytes(uint32_t capacity, uint32_t* bytes);

// Checks a reply to a request for `capacity` entries and copies its entries. `reply` is the
// buffer given to the driver (`replySize` bytes, any alignment), `bytesReturned` what the call
// reported. Valid only when the capacity is at most kMaxDeviceCount, bytesReturned is exactly
// DeviceListReplyBytes(capacity) and fits the buffer, and the reply's count (second word, unsigned)
// is at most `capacity`. `entries` has room for `capacity` entries; the first *count are filled.
// Each name is copied as at most kObjectNameUnits - 1 units plus a terminator; units after the
// terminator are zero. On failure *count is 0 and nothing is written.
bool ReadDeviceListReply(const void* reply, size_t replySize, uint32_t bytesReturned, uint32_t capacity,
                         DeviceListEntry* entries, uint32_t* count);

} // namespace touch
