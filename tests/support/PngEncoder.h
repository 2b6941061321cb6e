// A minimal PNG writer for screenshots: 8-bit RGB, no filtering, zlib stored (uncompressed) blocks.
// No platform code, so it is unit-tested on the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qelvo::test {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const uint8_t* data, size_t size, uint32_t adler = 1);

// `rgb` holds height rows of width * 3 bytes (red, green, blue), top row first.
// Returns an empty vector for an empty image or a buffer of the wrong size.
std::vector<uint8_t> EncodePng(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb);

} // namespace qelvo::test
