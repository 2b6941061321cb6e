#include "tests/support/PngEncoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using qelvo::test::Adler32;
using qelvo::test::Crc32;
using qelvo::test::EncodePng;

uint32_t BigEndian(const std::vector<uint8_t>& d, size_t at)
{
    return (uint32_t(d[at]) << 24) | (uint32_t(d[at + 1]) << 16) | (uint32_t(d[at + 2]) << 8) | d[at + 3];
}

// Bit by bit, independent of the encoder's table.
uint32_t ReferenceCrc(const uint8_t* p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

TEST(PngEncoder, ChecksumsMatchTheirKnownValues)
{
    const std::string digits = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0xCBF43926u);
    const std::string word = "Wikipedia";
    EXPECT_EQ(Adler32(reinterpret_cast<const uint8_t*>(word.data()), word.size()), 0x11E60398u);
    EXPECT_EQ(Adler32(nullptr, 0), 1u);
}

// Walks the chunks, checks every CRC and unpacks the stored deflate blocks.
std::vector<uint8_t> Unpack(const std::vector<uint8_t>& png, uint32_t& width, uint32_t& height)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0);
    std::vector<uint8_t> zlib;
    size_t at = 8;
    std::string last;
    while (at + 12 <= png.size()) {
        const uint32_t length = BigEndian(png, at);
        const std::string type(png.begin() + at + 4, png.begin() + at + 8);
        EXPECT_EQ(BigEndian(png, at + 8 + length), ReferenceCrc(png.data() + at + 4, 4 + length)) << type;
        if (type == "IHDR") {
            width = BigEndian(png, at + 8);
            height = BigEndian(png, at + 12);
            EXPECT_EQ(png[at + 16], 8);
            EXPECT_EQ(png[at + 17], 2);
        } else if (type == "IDAT") {
            zlib.insert(zlib.end(), png.begin() + at + 8, png.begin() + at + 8 + length);
        }
        last = type;
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size());
    EXPECT_EQ(last, "IEND");
    EXPECT_EQ((zlib[0] * 256 + zlib[1]) % 31, 0);
    std::vector<uint8_t> raw;
    size_t p = 2;
    bool final = false;
    while (!final) {
        final = zlib[p] & 1;
        EXPECT_EQ(zlib[p] >> 1, 0); // stored
        const unsigned len = zlib[p + 1] | (zlib[p + 2] << 8);
        const unsigned nlen = zlib[p + 3] | (zlib[p + 4] << 8);
        EXPECT_EQ(len ^ 0xFFFFu, nlen);
        raw.insert(raw.end(), zlib.begin() + p + 5, zlib.begin() + p + 5 + len);
        p += 5 + len;
    }
    EXPECT_EQ(p + 4, zlib.size());
    EXPECT_EQ(BigEndian(zlib, p), Adler32(raw.data(), raw.size()));
    return raw;
}

TEST(PngEncoder, SmallImageRoundTrips)
{
    const std::vector<uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const std::vector<uint8_t> png = EncodePng(3, 2, rgb);
    ASSERT_FALSE(png.empty());
    uint32_t width = 0, height = 0;
    const std::vector<uint8_t> raw = Unpack(png, width, height);
    EXPECT_EQ(width, 3u);
    EXPECT_EQ(height, 2u);
    const std::vector<uint8_t> expected = {0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(raw, expected);
}

TEST(PngEncoder, LargeImageSpansSeveralStoredBlocks)
{
    const uint32_t width = 300, height = 200; // 180,200 bytes of scanlines: three blocks
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uint8_t(i * 7 + i / 911);
    uint32_t w = 0, h = 0;
    const std::vector<uint8_t> raw = Unpack(EncodePng(width, height, rgb), w, h);
    ASSERT_EQ(raw.size(), size_t(width * 3 + 1) * height);
    for (uint32_t y = 0; y < height; ++y) {
        ASSERT_EQ(raw[y * (width * 3 + 1)], 0);
        ASSERT_EQ(std::memcmp(&raw[y * (width * 3 + 1) + 1], &rgb[y * width * 3], width * 3), 0) << y;
    }
}

TEST(PngEncoder, RefusesEmptyOrMismatchedImages)
{
    EXPECT_TRUE(EncodePng(0, 5, {}).empty());
    EXPECT_TRUE(EncodePng(2, 2, std::vector<uint8_t>(11)).empty());
}

} // namespace
