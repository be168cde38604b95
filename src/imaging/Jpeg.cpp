#include "imaging/Jpeg.h"

#include "platform/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <system_error>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
// The message codes (JWRN_JPEG_EOF).
#include <jerror.h>

namespace ocelis {

namespace {

// libjpeg is C: an error must not unwind through its frames. error_exit jumps back to the
// one function that called into libjpeg, which cleans up and then throws.
struct ErrorManager {
    jpeg_error_mgr pub; // first member: libjpeg sees only this part
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    // Written between setjmp and longjmp, read after the jump.
    volatile bool truncated;
    volatile bool rowsDone;
};

[[noreturn]] void FailWith(j_common_ptr cinfo, const char* text) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "%s", text);
    std::longjmp(err->jump, 1);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings are counted, never printed. Data that ends early is a failure: libjpeg would
// fill the rest of the picture with grey.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return;
    ++cinfo->err->num_warnings;
    if (cinfo->err->msg_code == JWRN_JPEG_EOF) {
        reinterpret_cast<ErrorManager*>(cinfo->err)->truncated = true;
        FailWith(cinfo, "Premature end of JPEG file");
    }
}

void OutputMessage(j_common_ptr) {}

void InstallErrorManager(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    err.message[0] = '\0';
    err.truncated = false;
    err.rowsDone = false;
}

// Stops pathological files with thousands of tiny scans, which otherwise decode for minutes.
struct ScanLimiter {
    jpeg_progress_mgr pub; // first member
    int32_t maxScans;
};

void ProgressMonitor(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor)
        return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto* limiter = reinterpret_cast<ScanLimiter*>(cinfo->progress);
    if (d->input_scan_number > limiter->maxScans)
        FailWith(cinfo, "JPEG image has too many scans");
}

enum class Mode { Info, Full, Scaled, BgrRows };

struct DecodeRequest {
    Mode mode = Mode::Full;
    int32_t minWidth = 0; // BgrRows: the exact size wanted
    int32_t minHeight = 0;
    JpegLimits limits;
    uint8_t* const* rows = nullptr; // BgrRows: where each picture row goes
    bool* rowsWritten = nullptr;
};

bool TryResize(Bitmap& bitmap, int32_t w, int32_t h) noexcept {
    try {
        bitmap.resize(w, h);
        return true;
    } catch (...) {
        return false;
    }
}

void CmykRowToRgb(const JSAMPLE* in, uint8_t* out, JDIMENSION width, bool adobeInverted) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
        unsigned c = in[0], m = in[1], y = in[2], k = in[3];
        if (!adobeInverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        // Stored values are "amount of paper showing": the product is the light left.
        out[0] = static_cast<uint8_t>((c * k + 127) / 255);
        out[1] = static_cast<uint8_t>((m * k + 127) / 255);
        out[2] = static_cast<uint8_t>((y * k + 127) / 255);
    }
}

// Every output row straight into rows, many rows per call (as fast as libjpeg goes).
void ReadRows(jpeg_decompress_struct& cinfo, JSAMPARRAY rows) {
    const JDIMENSION oh = cinfo.output_height;
    while (cinfo.output_scanline < oh) {
        const JDIMENSION y = cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, rows + y, oh - y) == 0)
            FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "JPEG decoder stalled");
    }
}

// Reading on to the end marker tells a stream cut after its last row; whether a row was
// read before the cut depends on how far the bit reader looked ahead. From here on only
// missing data fails the decode (see the jump target in RunDecode).
bool FinishAfterRows(jpeg_decompress_struct& cinfo, ErrorManager& err) {
    err.rowsDone = true;
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// All libjpeg work of one decode. No object with a destructor lives in this frame, so the
// jump back from libjpeg skips nothing; the results go to the caller's objects.
bool RunDecode(const uint8_t* data, size_t size, const DecodeRequest& req, JpegInfo& info,
               Bitmap& out, char* message, bool& truncated) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    ScanLimiter limiter;
    InstallErrorManager(err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        std::memcpy(message, err.message, JMSG_LENGTH_MAX);
        truncated = err.truncated;
        jpeg_destroy_decompress(&cinfo);
        // Once every row is there, only missing data counts, not what follows the rows.
        return err.rowsDone && !err.truncated;
    }
    jpeg_create_decompress(&cinfo);
    limiter.pub.progress_monitor = ProgressMonitor;
    limiter.maxScans = req.limits.maxProgressiveScans;
    cinfo.progress = &limiter.pub;
    // Coefficient buffers of multi-scan images are "virtual arrays": bound them too. Without
    // a backing store libjpeg then fails cleanly instead of allocating.
    cinfo.mem->max_memory_to_use = static_cast<long>(
        std::min<int64_t>(std::max<int64_t>(req.limits.maxPixels, 1) * 8, int64_t{1} << 40));

    if (size == 0)
        FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "Empty JPEG image");
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);

    const int64_t w = cinfo.image_width, h = cinfo.image_height;
    if (w > req.limits.maxDimension || h > req.limits.maxDimension || w * h > req.limits.maxPixels)
        FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "JPEG image is too large");
    info.width = static_cast<int32_t>(w);
    info.height = static_cast<int32_t>(h);
    info.components = cinfo.num_components;
    info.progressive = cinfo.progressive_mode != 0;
    if (req.mode == Mode::Info) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }

    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    if (req.mode == Mode::BgrRows) {
        if (cmyk || w != req.minWidth || h != req.minHeight) {
            jpeg_destroy_decompress(&cinfo);
            return true;
        }
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        if (cinfo.output_components != 3)
            FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "Unsupported JPEG colour layout");
        ReadRows(cinfo, const_cast<JSAMPARRAY>(req.rows));
        *req.rowsWritten = true;
        return FinishAfterRows(cinfo, err);
    }

    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    if (req.mode == Mode::Scaled) {
        // Thumbnails: the cheaper chroma upsampling is invisible at these sizes.
        cinfo.do_fancy_upsampling = FALSE;
        for (unsigned denom : {8u, 4u, 2u, 1u}) {
            cinfo.scale_denom = denom;
            jpeg_calc_output_dimensions(&cinfo);
            if ((req.minWidth <= 0 || cinfo.output_width >= JDIMENSION(req.minWidth)) &&
                (req.minHeight <= 0 || cinfo.output_height >= JDIMENSION(req.minHeight)))
                break;
        }
    }
    jpeg_start_decompress(&cinfo);
    const JDIMENSION ow = cinfo.output_width, oh = cinfo.output_height;
    if (cinfo.output_components != (cmyk ? 4 : 3))
        FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "Unsupported JPEG colour layout");
    if (!TryResize(out, static_cast<int32_t>(ow), static_cast<int32_t>(oh)))
        FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "Out of memory for JPEG image");

    if (cmyk) {
        JSAMPARRAY line = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                     JPOOL_IMAGE, ow * 4, 1);
        while (cinfo.output_scanline < oh) {
            const JDIMENSION y = cinfo.output_scanline;
            if (jpeg_read_scanlines(&cinfo, line, 1) != 1)
                FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "JPEG decoder stalled");
            CmykRowToRgb(line[0], out.row(static_cast<int32_t>(y)), ow,
                         cinfo.saw_Adobe_marker != 0);
        }
    } else {
        auto rows = static_cast<JSAMPARRAY>((*cinfo.mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, sizeof(JSAMPROW) * oh));
        for (JDIMENSION y = 0; y < oh; ++y)
            rows[y] = out.row(static_cast<int32_t>(y));
        ReadRows(cinfo, rows);
    }
    return FinishAfterRows(cinfo, err);
}

// RunDecode, with its failure raised as the error that says why.
void DecodeOrThrow(std::string_view bytes, const DecodeRequest& req, JpegInfo& info, Bitmap& out) {
    char message[JMSG_LENGTH_MAX];
    bool truncated = false;
    if (RunDecode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), req, info, out,
                  message, truncated))
        return;
    if (truncated)
        throw JpegTruncatedError(message);
    throw JpegError(message);
}

Bitmap Decode(std::string_view bytes, const DecodeRequest& req) {
    JpegInfo info;
    Bitmap out;
    DecodeOrThrow(bytes, req, info, out);
    return out;
}

struct EncodeOutput {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
};

bool RunEncode(const Bitmap& bitmap, int quality, EncodeOutput& output, char* message) {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    InstallErrorManager(err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        std::memcpy(message, err.message, JMSG_LENGTH_MAX);
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &output.buffer, &output.size);
    cinfo.image_width = static_cast<JDIMENSION>(bitmap.width);
    cinfo.image_height = static_cast<JDIMENSION>(bitmap.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo); // baseline sequential, Huffman
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        // libjpeg only reads the rows; its API is not const-correct.
        JSAMPROW row = const_cast<JSAMPROW>(bitmap.row(static_cast<int32_t>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

JpegInfo ReadJpegInfo(std::string_view bytes, const JpegLimits& limits) {
    DecodeRequest req;
    req.mode = Mode::Info;
    req.limits = limits;
    JpegInfo info;
    Bitmap unused;
    DecodeOrThrow(bytes, req, info, unused);
    return info;
}

Bitmap DecodeJpeg(std::string_view bytes, const JpegLimits& limits) {
    DecodeRequest req;
    req.limits = limits;
    return Decode(bytes, req);
}

Bitmap DecodeJpegScaled(std::string_view bytes, int32_t minWidth, int32_t minHeight,
                        const JpegLimits& limits) {
    DecodeRequest req;
    req.mode = Mode::Scaled;
    req.minWidth = minWidth;
    req.minHeight = minHeight;
    req.limits = limits;
    return Decode(bytes, req);
}

std::string EncodeJpeg(const Bitmap& bitmap, int quality) {
    if (bitmap.empty())
        throw JpegError("Cannot encode an empty picture");
    if (bitmap.pixels.size() != bitmap.stride() * static_cast<size_t>(bitmap.height))
        throw JpegError("Picture size does not match its pixels");
    quality = std::clamp(quality, 1, 100);
    EncodeOutput output;
    char message[JMSG_LENGTH_MAX];
    const bool ok = RunEncode(bitmap, quality, output, message);
    std::string result;
    if (ok && output.buffer)
        result.assign(reinterpret_cast<const char*>(output.buffer), output.size);
    std::free(output.buffer); // jpeg_mem_dest allocates with malloc
    if (!ok)
        throw JpegError(message);
    return result;
}

bool DecodeJpegBgrInto(std::string_view bytes, int32_t width, int32_t height, uint8_t* const* rows,
                       const JpegLimits& limits) {
    DecodeRequest req;
    req.mode = Mode::BgrRows;
    req.minWidth = width;
    req.minHeight = height;
    req.limits = limits;
    req.rows = rows;
    bool written = false;
    req.rowsWritten = &written;
    JpegInfo info;
    Bitmap unused;
    DecodeOrThrow(bytes, req, info, unused);
    return written;
}

JpegImage LoadJpeg(std::string bytes, const JpegLimits& limits) {
    JpegImage image;
    image.bitmap = DecodeJpeg(bytes, limits);
    image.bytes = std::move(bytes);
    return image;
}

JpegImage LoadJpegFile(const std::filesystem::path& path, const JpegLimits& limits,
                       uint64_t maxBytes) {
    std::string bytes;
    try {
        bytes = ReadRegularFile(path, maxBytes);
    } catch (const std::system_error& e) {
        if (e.code().value() == EFBIG)
            throw JpegError("File is too large for a JPEG image: " + path.string());
        throw JpegError("Cannot read " + path.string() + ": " + e.code().message());
    }
    return LoadJpeg(std::move(bytes), limits);
}

void SaveJpegFile(const std::filesystem::path& path, const Bitmap& bitmap, int quality) {
    const std::string bytes = EncodeJpeg(bitmap, quality);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out || !out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) ||
        !out.flush())
        throw JpegError("Cannot write " + path.string());
}

} // namespace ocelis
