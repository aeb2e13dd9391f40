// JPEG decoding over libjpeg: compressed bytes in, 8-bit RGB pixels out.
// No Qt here; the desktop program turns the result into its own image type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane::platform {

// A decoded picture: rows top to bottom, three bytes (red, green, blue) per
// pixel, no padding between rows.
struct RgbImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 3 bytes

    bool empty() const { return width == 0 || height == 0; }
};

// Bounds applied before anything large is allocated. A picture over any
// bound is refused with JpegError.
struct JpegLimits {
    std::uint32_t max_width = 16384;
    std::uint32_t max_height = 16384;
    std::uint64_t max_pixels = std::uint64_t{64} << 20;  // width * height
    unsigned max_scans = 500;                            // progressive scans
    long max_memory = 512L << 20;  // working memory libjpeg may take, in bytes
};

// Any failure to decode: not a JPEG stream, corrupt or truncated data,
// unsupported colour layout, a picture over the limits.
class JpegError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Decodes a complete JPEG stream. Grey pictures come out as RGB with equal
// components; CMYK and YCCK pictures are converted to RGB. Data that libjpeg
// would only warn about (a stream cut short, bad entropy data, stray bytes)
// is refused rather than decoded into a partly grey picture.
RgbImage DecodeJpeg(std::span<const std::uint8_t> data, const JpegLimits& limits = {});

}  // namespace corvane::platform
