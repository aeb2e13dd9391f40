#include "platform/jpeg_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace corvane::platform {
namespace {

struct EncodeOptions {
    J_COLOR_SPACE space = JCS_RGB;
    int components = 3;
    bool progressive = false;
    int quality = 100;
};

// Encodes raw samples with libjpeg; 1x1 sampling so flat colours survive.
std::vector<std::uint8_t> Encode(int w, int h, const std::vector<std::uint8_t>& samples,
                                 const EncodeOptions& opt = {}) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = opt.components;
    c.in_color_space = opt.space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, opt.quality, TRUE);
    for (int i = 0; i < c.num_components; ++i) {
        c.comp_info[i].h_samp_factor = 1;
        c.comp_info[i].v_samp_factor = 1;
    }
    if (opt.progressive) {
        jpeg_simple_progression(&c);
    }
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data()) +
                       static_cast<std::size_t>(c.next_scanline) * static_cast<std::size_t>(w) *
                           static_cast<std::size_t>(opt.components);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

// Left half red, right half blue, 16 x 8.
std::vector<std::uint8_t> TwoColourSamples() {
    std::vector<std::uint8_t> s;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            s.insert(s.end(), x < 8 ? std::initializer_list<std::uint8_t>{200, 30, 40}
                                    : std::initializer_list<std::uint8_t>{20, 60, 220});
        }
    }
    return s;
}

void ExpectNear(const RgbImage& img, std::uint32_t x, std::uint32_t y, int r, int g, int b) {
    const std::uint8_t* p = &img.pixels[(std::size_t{y} * img.width + x) * 3];
    EXPECT_NEAR(p[0], r, 4) << "at " << x << "," << y;
    EXPECT_NEAR(p[1], g, 4) << "at " << x << "," << y;
    EXPECT_NEAR(p[2], b, 4) << "at " << x << "," << y;
}

TEST(JpegDecoder, DecodesBaselineAndProgressiveColour) {
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        EncodeOptions opt;
        opt.progressive = progressive;
        RgbImage img = DecodeJpeg(Encode(16, 8, TwoColourSamples(), opt));
        ASSERT_EQ(img.width, 16u);
        ASSERT_EQ(img.height, 8u);
        ASSERT_EQ(img.pixels.size(), 16u * 8u * 3u);
        ExpectNear(img, 0, 0, 200, 30, 40);
        ExpectNear(img, 3, 7, 200, 30, 40);
        ExpectNear(img, 12, 0, 20, 60, 220);
        ExpectNear(img, 15, 7, 20, 60, 220);
    }
}

TEST(JpegDecoder, GreyAndCmykComeOutAsRgb) {
    std::vector<std::uint8_t> grey(8 * 8, 90);
    EncodeOptions g;
    g.space = JCS_GRAYSCALE;
    g.components = 1;
    RgbImage gi = DecodeJpeg(Encode(8, 8, grey, g));
    ExpectNear(gi, 5, 5, 90, 90, 90);

    // libjpeg writes an Adobe marker with CMYK, so the samples count as
    // inverted inks: 255 = no ink. No cyan or black, full magenta: red-blue.
    std::vector<std::uint8_t> cmyk;
    for (int i = 0; i < 64; ++i) {
        cmyk.insert(cmyk.end(), {255, 0, 255, 255});
    }
    EncodeOptions c;
    c.space = JCS_CMYK;
    c.components = 4;
    RgbImage ci = DecodeJpeg(Encode(8, 8, cmyk, c));
    ExpectNear(ci, 2, 3, 255, 0, 255);
}

TEST(JpegDecoder, EveryTruncationIsAnError) {
    for (bool progressive : {false, true}) {
        EncodeOptions opt;
        opt.progressive = progressive;
        const std::vector<std::uint8_t> full = Encode(16, 8, TwoColourSamples(), opt);
        for (std::size_t n = 0; n < full.size(); ++n) {
            std::span<const std::uint8_t> cut(full.data(), n);
            EXPECT_THROW(DecodeJpeg(cut), JpegError) << "cut at " << n << " of " << full.size();
        }
    }
}

TEST(JpegDecoder, RejectsWhatIsNotJpeg) {
    const std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    try {
        DecodeJpeg(png);
        FAIL() << "no error";
    } catch (const JpegError& e) {
        EXPECT_NE(std::string(e.what()).find("Not a JPEG file"), std::string::npos) << e.what();
    }
    EXPECT_THROW(DecodeJpeg({}), JpegError);
}

TEST(JpegDecoder, DamagedEntropyDataIsRefused) {
    std::vector<std::uint8_t> bytes = Encode(16, 8, TwoColourSamples());
    // Put a restart marker where none belongs, inside the scan data.
    std::size_t sos = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) {
            sos = i;
        }
    }
    ASSERT_GT(sos, 0u);
    const std::size_t at =
        sos + 2 + static_cast<std::size_t>(bytes[sos + 2] << 8 | bytes[sos + 3]) + 4;
    ASSERT_LT(at + 1, bytes.size() - 2);
    bytes[at] = 0xFF;
    bytes[at + 1] = 0xD3;
    EXPECT_THROW(DecodeJpeg(bytes), JpegError);
}

// Rewrites the frame header's dimensions of a baseline stream.
void PatchSize(std::vector<std::uint8_t>& bytes, std::uint16_t w, std::uint16_t h) {
    for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = static_cast<std::uint8_t>(h >> 8);
            bytes[i + 6] = static_cast<std::uint8_t>(h);
            bytes[i + 7] = static_cast<std::uint8_t>(w >> 8);
            bytes[i + 8] = static_cast<std::uint8_t>(w);
            return;
        }
    }
    FAIL() << "no frame header";
}

TEST(JpegDecoder, SizeLimitsApplyBeforeDecoding) {
    std::vector<std::uint8_t> huge = Encode(16, 8, TwoColourSamples());
    PatchSize(huge, 65000, 65000);
    try {
        DecodeJpeg(huge);
        FAIL() << "no error";
    } catch (const JpegError& e) {
        EXPECT_NE(std::string(e.what()).find("65000x65000"), std::string::npos) << e.what();
    }

    const std::vector<std::uint8_t> small = Encode(16, 8, TwoColourSamples());
    JpegLimits narrow;
    narrow.max_width = 15;
    EXPECT_THROW(DecodeJpeg(small, narrow), JpegError);
    JpegLimits few;
    few.max_pixels = 127;
    EXPECT_THROW(DecodeJpeg(small, few), JpegError);
    JpegLimits exact;
    exact.max_width = 16;
    exact.max_height = 8;
    exact.max_pixels = 128;
    EXPECT_EQ(DecodeJpeg(small, exact).width, 16u);
}

TEST(JpegDecoder, ScanLimitStopsLongProgressiveStreams) {
    EncodeOptions opt;
    opt.progressive = true;
    const std::vector<std::uint8_t> bytes = Encode(16, 8, TwoColourSamples(), opt);
    JpegLimits limits;
    limits.max_scans = 2;
    EXPECT_THROW(DecodeJpeg(bytes, limits), JpegError);
}

}  // namespace
}  // namespace corvane::platform
