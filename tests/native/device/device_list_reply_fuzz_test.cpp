// Randomised replies of the driver's device list, read by ReadDeviceListReply: short, long and cut
// buffers, byte counts and record counts that lie, names without terminator. Each reply sits in a
// heap block of exactly its size, so that AddressSanitizer reports any read past it. What must be
// accepted and copied is stated here again from the protocol: a reply is good only when at most 256
// controllers were asked for (counts up to 0xFFFFFFFF are tried), the call returned exactly
// 8 + 404 x capacity bytes, they fit the buffer, and the count (second word,
// unsigned) is at most the capacity; each name is the units before the first zero, at most 199,
// then zeros.
#include "device/DeviceListReply.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

using namespace touch;

namespace {

constexpr int kReplies = 20000;

struct Fuzzer {
    std::mt19937 random{20261208u};  // fixed: a failure repeats

    uint32_t Below(uint32_t n) { return n == 0 ? 0 : random() % n; }
    bool OneIn(uint32_t n) { return Below(n) == 0; }

    uint32_t Capacity()
    {
        static const uint32_t kOdd[] = {255u, 256u, 257u, 10631107u, 10631108u, 0x40000000u, 0x80000000u,
                                        0xFFFFFFFFu};
        if (OneIn(10))
            return kOdd[Below(8)];
        return OneIn(20) ? static_cast<uint32_t>(random()) : Below(6);  // any 32-bit count now and then
    }

    // The right size half of the time, else near it or anything.
    uint64_t NearOrAny(uint64_t right)
    {
        switch (Below(10)) {
        case 5: return right + 1;
        case 6: return right == 0 ? 0 : right - 1;
        case 7: return right >= 404 ? right - 404 : right + 404;
        case 8: return Below(16);
        case 9: return Below(3000);
        default: return right;
        }
    }

    // The 200 name units of a record: non-zero units with one zero somewhere, or none at all.
    void Name(unsigned char* units)
    {
        const uint32_t terminator = OneIn(3) ? kObjectNameUnits : Below(kObjectNameUnits);
        for (uint32_t u = 0; u < kObjectNameUnits; ++u) {
            uint16_t unit = OneIn(2) ? static_cast<uint16_t>(u'A' + Below(26)) : static_cast<uint16_t>(random());
            if (unit == 0 || u == terminator)
                unit = u == terminator ? 0 : 0xFFFF;
            units[2 * u] = static_cast<unsigned char>(unit);
            units[2 * u + 1] = static_cast<unsigned char>(unit >> 8);
        }
    }
};

// The name the reader must produce from 200 units of a record: up to the first zero, at most 199.
std::vector<uint16_t> ExpectedName(const unsigned char* units)
{
    std::vector<uint16_t> name;
    for (uint32_t u = 0; u < 199; ++u) {
        const uint16_t unit = static_cast<uint16_t>(units[2 * u] | units[2 * u + 1] << 8);
        if (unit == 0)
            break;
        name.push_back(unit);
    }
    return name;
}

uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

} // namespace

TEST(DeviceListReplyFuzz, RefusesEveryBadReplyAndCopiesGoodOnesWithinTheirBounds)
{
    Fuzzer fuzz;
    int accepted = 0;
    int refused = 0;
    for (int n = 0; n < kReplies; ++n) {
        const uint32_t capacity = fuzz.Capacity();
        const uint64_t rightBytes = 8 + 404ull * capacity;
        // Replies of up to 257 entries are built whole; larger ones only in part.
        const size_t size = static_cast<size_t>(fuzz.NearOrAny(rightBytes <= 8 + 404 * 257 ? rightBytes : fuzz.Below(4000)));
        // What the call reports: a 32-bit count, so sizes of huge capacities wrap.
        const uint32_t returned = static_cast<uint32_t>(fuzz.OneIn(8) ? fuzz.random() : fuzz.NearOrAny(rightBytes));

        // The reply: `size` random bytes at the very end of a heap block (one byte in, now and
        // then: the reader takes any alignment), records with names, a count near the capacity
        // or anything.
        const size_t shift = fuzz.OneIn(4) ? 1 : 0;
        std::unique_ptr<unsigned char[]> block(new unsigned char[shift + size]);
        unsigned char* reply = block.get() + shift;
        for (size_t i = 0; i < size; ++i)
            reply[i] = static_cast<unsigned char>(fuzz.random());
        for (size_t record = 8; record + 404 <= size; record += 404)
            fuzz.Name(reply + record + 4);
        if (size >= 8) {
            const uint32_t choices[] = {capacity, capacity + 1, fuzz.Below(capacity + 1), 0x80000001u,
                                        static_cast<uint32_t>(fuzz.random())};
            memcpy(reply + 4, &choices[fuzz.Below(5)], 4);
        }

        std::vector<DeviceListEntry> entries(capacity < 256 ? capacity + 1 : 256);
        uint32_t count = 2;  // a stale count must go
        const bool ok = ReadDeviceListReply(reply, size, returned, capacity, entries.data(), &count);
        entries.resize(count);

        const bool good = capacity <= 256 && rightBytes == returned && returned <= size && Le32(reply + 4) <= capacity;
        ASSERT_EQ(ok, good) << "reply " << n << ": capacity " << capacity << ", " << size << " bytes given, "
                            << returned << " returned";
        if (!ok) {
            ASSERT_TRUE(entries.empty()) << "reply " << n;
            ++refused;
            continue;
        }
        ++accepted;
        ASSERT_EQ(entries.size(), Le32(reply + 4)) << "reply " << n;
        for (size_t i = 0; i < entries.size(); ++i) {
            const unsigned char* record = reply + 8 + 404 * i;
            ASSERT_EQ(entries[i].deviceId, Le32(record)) << "reply " << n << " entry " << i;
            const std::vector<uint16_t> name = ExpectedName(record + 4);
            for (uint32_t u = 0; u < kObjectNameUnits; ++u) {
                const uint16_t want = u < name.size() ? name[u] : 0;
                ASSERT_EQ(entries[i].objectName[u], want) << "reply " << n << " entry " << i << " unit " << u;
            }
        }
    }
    std::printf("device list replies: %d accepted, %d refused\n", accepted, refused);
    // The generator must reach both sides, or the properties above say little.
    EXPECT_GT(accepted, kReplies / 50);
    EXPECT_GT(refused, kReplies / 2);
}
