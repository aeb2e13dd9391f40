#include "platform/jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>

#include <jpeglib.h>

namespace corvane::platform {

namespace {

// Everything libjpeg touches lives in one plain struct owned by the C++ side.
// The functions that call setjmp hold nothing but a pointer to it, so a
// longjmp out of libjpeg never skips a destructor.
struct DecodeJob {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    const unsigned char* data;
    unsigned long size;
    long max_memory;
    unsigned max_scans;
    bool created;
};
static_assert(std::is_trivially_destructible_v<DecodeJob>);

DecodeJob* JobOf(j_common_ptr c) {
    return static_cast<DecodeJob*>(c->client_data);
}

[[noreturn]] void FailWith(DecodeJob* job, const char* text) {
    std::snprintf(job->message, sizeof job->message, "%s", text);
    std::longjmp(job->jump, 1);
}

[[noreturn]] void OnErrorExit(j_common_ptr c) {
    DecodeJob* job = JobOf(c);
    char text[JMSG_LENGTH_MAX];
    (*c->err->format_message)(c, text);
    FailWith(job, text);
}

// Level -1 is libjpeg's "corrupt data" warning: decoding would go on with
// made-up data, so it is treated like an error. Trace levels are ignored.
void OnEmitMessage(j_common_ptr c, int level) {
    if (level < 0) {
        OnErrorExit(c);
    }
}

void OnOutputMessage(j_common_ptr) {}

// Progressive streams can hold any number of scans, each one a full pass
// over the coefficients; a bound keeps a tiny hostile file from taking
// minutes.
void OnProgress(j_common_ptr c) {
    DecodeJob* job = JobOf(c);
    if (job->cinfo.input_scan_number > static_cast<int>(job->max_scans)) {
        FailWith(job, "Too many scans in progressive JPEG stream");
    }
}

// Creates the decompressor, reads the header and settles the output layout.
__attribute__((noinline)) bool ReadHeaderC(DecodeJob* job) {
    if (setjmp(job->jump) != 0) {
        return false;
    }
    j_decompress_ptr cinfo = &job->cinfo;
    cinfo->err = jpeg_std_error(&job->err);
    job->err.error_exit = OnErrorExit;
    job->err.emit_message = OnEmitMessage;
    job->err.output_message = OnOutputMessage;
    jpeg_create_decompress(cinfo);
    job->created = true;
    cinfo->client_data = job;
    job->progress.progress_monitor = OnProgress;
    cinfo->progress = &job->progress;
    cinfo->mem->max_memory_to_use = job->max_memory;
    jpeg_mem_src(cinfo, job->data, job->size);
    jpeg_read_header(cinfo, TRUE);
    if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK) {
        cinfo->out_color_space = JCS_CMYK;
    } else {
        cinfo->out_color_space = JCS_RGB;
    }
    jpeg_calc_output_dimensions(cinfo);
    return true;
}

// Decodes every scanline into out, stride bytes per row.
__attribute__((noinline)) bool ReadPixelsC(DecodeJob* job, unsigned char* out, std::size_t stride) {
    if (setjmp(job->jump) != 0) {
        return false;
    }
    j_decompress_ptr cinfo = &job->cinfo;
    jpeg_start_decompress(cinfo);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = out + static_cast<std::size_t>(cinfo->output_scanline) * stride;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// Frees libjpeg's pools on every way out of DecodeJpeg.
struct JobGuard {
    DecodeJob* job;
    ~JobGuard() {
        if (job->created) {
            jpeg_destroy_decompress(&job->cinfo);
        }
    }
};

[[noreturn]] void Throw(const DecodeJob& job) {
    throw JpegError(std::string("JPEG: ") + job.message);
}

}  // namespace

RgbImage DecodeJpeg(std::span<const std::uint8_t> data, const JpegLimits& limits) {
    auto job = std::make_unique<DecodeJob>();
    std::memset(job.get(), 0, sizeof(DecodeJob));
    JobGuard guard{job.get()};
    job->data = data.data();
    job->size = static_cast<unsigned long>(data.size());
    job->max_memory = limits.max_memory;
    job->max_scans = limits.max_scans;

    if (!ReadHeaderC(job.get())) {
        Throw(*job);
    }
    const jpeg_decompress_struct& cinfo = job->cinfo;
    const std::uint32_t width = cinfo.output_width;
    const std::uint32_t height = cinfo.output_height;
    const int components = cinfo.output_components;
    if (width == 0 || height == 0) {
        throw JpegError("JPEG: empty image");
    }
    if (width > limits.max_width || height > limits.max_height ||
        std::uint64_t{width} * height > limits.max_pixels) {
        throw JpegError("JPEG: image of " + std::to_string(width) + "x" + std::to_string(height) +
                        " pixels exceeds the size limit");
    }
    if (components != 3 && components != 4) {
        throw JpegError("JPEG: unsupported colour layout");
    }

    const std::size_t stride = std::size_t{width} * static_cast<std::size_t>(components);
    std::vector<std::uint8_t> raw(stride * height);
    if (!ReadPixelsC(job.get(), raw.data(), stride)) {
        Throw(*job);
    }

    RgbImage image;
    image.width = width;
    image.height = height;
    if (components == 3) {
        image.pixels = std::move(raw);
        return image;
    }
    // CMYK. Adobe's writers store the inks inverted (0 = full ink), and the
    // Adobe marker is how a stream says so. Each channel keeps the share of
    // light its own ink and the black ink let through.
    const bool inverted = cinfo.saw_Adobe_marker;
    image.pixels.resize(std::size_t{width} * height * 3);
    const std::uint8_t* src = raw.data();
    std::uint8_t* dst = image.pixels.data();
    for (std::size_t i = 0, n = std::size_t{width} * height; i < n; ++i, src += 4, dst += 3) {
        const unsigned black_light = inverted ? src[3] : 255u - src[3];
        for (int ch = 0; ch < 3; ++ch) {
            const unsigned light = inverted ? src[ch] : 255u - src[ch];
            dst[ch] = static_cast<std::uint8_t>((light * black_light + 127) / 255);
        }
    }
    return image;
}

}  // namespace corvane::platform
