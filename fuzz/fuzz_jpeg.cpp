// Feeds arbitrary bytes to the JPEG decoder: it must either decode or throw
// JpegError, within the limits, and never read or write out of bounds.
// fuzz-libs: corvane_platform
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::platform::JpegLimits limits;
    limits.max_width = 4096;
    limits.max_height = 4096;
    limits.max_pixels = 4u << 20;
    limits.max_scans = 100;
    limits.max_memory = 128L << 20;
    try {
        corvane::platform::RgbImage img = corvane::platform::DecodeJpeg({data, size}, limits);
        if (img.pixels.size() != std::size_t{img.width} * img.height * 3) {
            std::abort();
        }
    } catch (const corvane::platform::JpegError&) {
    }
    return 0;
}
