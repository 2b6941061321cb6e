#include "device/DeviceListReply.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

using namespace touch;

namespace {

struct ReplyEntry {
    uint32_t id;
    std::u16string name;       // written as given; no terminator is added
    bool terminate = true;     // false: the 200 units carry no terminator
};

// A reply buffer as the driver fills it: header, `capacity` records, `count` in the header.
std::vector<unsigned char> MakeReply(uint32_t capacity, uint32_t count, const std::vector<ReplyEntry>& entries)
{
    std::vector<unsigned char> buffer(DeviceListBytes(capacity), 0);
    const uint32_t header[2] = {0xDEADBEEF, count};  // the reserved word is not read
    memcpy(buffer.data(), header, sizeof(header));
    for (size_t i = 0; i < entries.size(); ++i) {
        unsigned char* record = buffer.data() + sizeof(DeviceListHeader) + i * sizeof(DeviceListEntry);
        memcpy(record, &entries[i].id, 4);
        uint16_t units[kObjectNameUnits];
        for (uint32_t u = 0; u < kObjectNameUnits; ++u)
            units[u] = entries[i].terminate ? 0 : static_cast<uint16_t>(u'A' + u % 26);
        for (size_t u = 0; u < entries[i].name.size() && u < kObjectNameUnits; ++u)
            units[u] = entries[i].name[u];
        memcpy(record + 4, units, sizeof(units));
    }
    return buffer;
}

std::u16string NameOf(const DeviceListEntry& e)
{
    std::u16string s;
    for (uint32_t u = 0; u < kObjectNameUnits && e.objectName[u] != 0; ++u)
        s.push_back(static_cast<char16_t>(e.objectName[u]));
    return s;
}

bool TailIsZero(const DeviceListEntry& e, size_t from)
{
    for (size_t u = from; u < kObjectNameUnits; ++u) {
        if (e.objectName[u] != 0)
            return false;
    }
    return true;
}

// The reader through a vector: a buffer of the capacity's size (at most the ceiling), filled with
// junk first, so that a stale or unwritten entry would show; only the entries read are kept.
bool Read(const void* reply, size_t replySize, uint32_t returned, uint32_t capacity, std::vector<DeviceListEntry>* entries)
{
    entries->assign(capacity < kMaxDeviceCount ? capacity + 1 : kMaxDeviceCount, DeviceListEntry{});
    memset(entries->data(), 0xCD, entries->size() * sizeof(DeviceListEntry));
    uint32_t count = 7;
    const bool ok = ReadDeviceListReply(reply, replySize, returned, capacity, entries->data(), &count);
    EXPECT_TRUE(ok || count == 0) << "a refused reply counts no entries";
    entries->resize(count);
    return ok;
}

} // namespace

TEST(DeviceListRequest, HeaderCarriesTheCapacityAndEverythingElseIsZero)
{
    const DeviceListRequest request = MakeDeviceListRequest(3);
    unsigned char bytes[sizeof(request)];
    memcpy(bytes, &request, sizeof(request));
    ASSERT_EQ(sizeof(bytes), 412u);
    const unsigned char expectedHeader[8] = {0, 0, 0, 0, 3, 0, 0, 0};
    EXPECT_EQ(memcmp(bytes, expectedHeader, 8), 0);
    for (size_t i = 8; i < sizeof(bytes); ++i)
        ASSERT_EQ(bytes[i], 0) << i;
}

TEST(DeviceListRequest, ReplySizeIs8Plus404PerEntryUpTo256Entries)
{
    uint32_t bytes = 0;
    ASSERT_TRUE(DeviceListReplyBytes(0, &bytes));
    EXPECT_EQ(bytes, 8u);
    ASSERT_TRUE(DeviceListReplyBytes(2, &bytes));
    EXPECT_EQ(bytes, 816u);
    ASSERT_TRUE(DeviceListReplyBytes(256, &bytes));
    EXPECT_EQ(bytes, 103432u);
    // Above 256 controllers the driver lies: no buffer of 4 GB is asked for.
    bytes = 7;
    for (uint32_t capacity : {257u, 10631107u, 10631108u, 0x40000000u, 0xFFFFFFFFu})
        EXPECT_FALSE(DeviceListReplyBytes(capacity, &bytes)) << capacity;
    EXPECT_EQ(bytes, 7u);
}

TEST(DeviceListReply, CopiesTheCountedEntriesInOrder)
{
    const auto reply = MakeReply(3, 2, {{7, u"\\Device\\USBPDO-4"}, {0xFFFFFFF0, u"\\Device\\USBPDO-11"}});
    std::vector<DeviceListEntry> entries;
    ASSERT_TRUE(Read(reply.data(), reply.size(), DeviceListBytes(3), 3, &entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].deviceId, 7u);
    EXPECT_EQ(NameOf(entries[0]), u"\\Device\\USBPDO-4");
    EXPECT_EQ(entries[1].deviceId, 0xFFFFFFF0u);
    EXPECT_EQ(NameOf(entries[1]), u"\\Device\\USBPDO-11");
    EXPECT_TRUE(TailIsZero(entries[1], 17));
}

TEST(DeviceListReply, ZeroEntriesIsAValidReply)
{
    const auto reply = MakeReply(0, 0, {});
    std::vector<DeviceListEntry> entries(1);
    ASSERT_TRUE(Read(reply.data(), reply.size(), 8, 0, &entries));
    EXPECT_TRUE(entries.empty());
}

TEST(DeviceListReply, RefusesAReplyThatBreaksAnyRuleAndOnlyThat)
{
    auto twoWithRoom = MakeReply(2, 2, {{1, u"a"}, {2, u"b"}});
    twoWithRoom.push_back(0);  // room for one byte more
    const auto three = MakeReply(2, 3, {{1, u"a"}, {2, u"b"}});
    const auto huge = MakeReply(2, 0x80000001u, {{1, u"a"}, {2, u"b"}});  // negative if read signed
    const auto two = MakeReply(2, 2, {{1, u"a"}, {2, u"b"}});
    const uint32_t fiveInEight[2] = {0, 5};
    struct Row {
        const char* what;
        const void* reply;
        size_t replySize;
        uint32_t bytesReturned;
        uint32_t capacity;
        bool accepted;
    };
    const Row rows[] = {
        {"exact byte count, room to spare", twoWithRoom.data(), twoWithRoom.size(), DeviceListBytes(2), 2, true},
        {"one byte more returned", twoWithRoom.data(), twoWithRoom.size(), DeviceListBytes(2) + 1, 2, false},
        {"one byte less returned", twoWithRoom.data(), twoWithRoom.size(), DeviceListBytes(2) - 1, 2, false},
        {"nothing returned", twoWithRoom.data(), twoWithRoom.size(), 0, 2, false},
        {"count above the capacity", three.data(), three.size(), DeviceListBytes(2), 2, false},
        {"count negative if read signed", huge.data(), huge.size(), DeviceListBytes(2), 2, false},
        // The driver claims the full size but the buffer is short.
        {"buffer one byte short", two.data(), two.size() - 1, DeviceListBytes(2), 2, false},
        // A capacity whose byte count wraps in 32 bits to 8: a reply of 8 bytes claiming 5 entries.
        {"capacity wrapping to 8 bytes", fiveInEight, sizeof(fiveInEight), 8, 0x40000000, false},
        {"no buffer", nullptr, 0, 8, 0, false},
    };
    for (const Row& row : rows) {
        std::vector<DeviceListEntry> entries(1);  // a stale entry must not survive
        EXPECT_EQ(Read(row.reply, row.replySize, row.bytesReturned, row.capacity, &entries),
                  row.accepted)
            << row.what;
        EXPECT_EQ(entries.size(), row.accepted ? 2u : 0u) << row.what;
    }
}

TEST(DeviceListReply, NamesAreCutTo199UnitsAndTerminated)
{
    const std::u16string exact199(199, u'x');
    const auto reply = MakeReply(4, 4,
                                 {{1, exact199},
                                  {2, u"", false},              // 200 units, no terminator
                                  {3, std::u16string(u"ab\0zz", 5)},  // units after the terminator
                                  {4, u"\u8bbe\u5907\\\xD83D\xDE00"}});
    std::vector<DeviceListEntry> entries;
    ASSERT_TRUE(Read(reply.data(), reply.size(), DeviceListBytes(4), 4, &entries));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(NameOf(entries[0]), exact199);
    EXPECT_EQ(entries[0].objectName[199], 0);

    EXPECT_EQ(NameOf(entries[1]).size(), 199u);
    EXPECT_EQ(entries[1].objectName[0], u'A');
    EXPECT_EQ(entries[1].objectName[198], u'A' + 198 % 26);
    EXPECT_EQ(entries[1].objectName[199], 0);

    EXPECT_EQ(NameOf(entries[2]), u"ab");
    EXPECT_TRUE(TailIsZero(entries[2], 2));

    EXPECT_EQ(NameOf(entries[3]), u"\u8bbe\u5907\\\xD83D\xDE00");
}

TEST(DeviceListReply, ReadsAReplyAtAnyAlignment)
{
    const auto reply = MakeReply(1, 1, {{0x01020304, u"\\Device\\X"}});
    std::vector<unsigned char> shifted(reply.size() + 3);
    memcpy(shifted.data() + 3, reply.data(), reply.size());
    std::vector<DeviceListEntry> entries;
    ASSERT_TRUE(Read(shifted.data() + 3, reply.size(), DeviceListBytes(1), 1, &entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].deviceId, 0x01020304u);
    EXPECT_EQ(NameOf(entries[0]), u"\\Device\\X");
}
