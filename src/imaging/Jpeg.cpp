#include "imaging/Jpeg.h"

#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
struct TErrorManager {
    jpeg_error_mgr Pub; // first member: libjpeg sees only this part
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    // Written between setjmp and longjmp, read after the jump.
    volatile bool Truncated;
    volatile bool RowsDone;
};

[[noreturn]] void FailWith(j_common_ptr cinfo, const char* text) {
    auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
    std::snprintf(err->Message, sizeof err->Message, "%s", text);
    std::longjmp(err->Jump, 1);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->Message);
    std::longjmp(err->Jump, 1);
}

// Warnings are counted, never printed. Data that ends early is a failure: libjpeg would
// fill the rest of the picture with grey.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return;
    ++cinfo->err->num_warnings;
    if (cinfo->err->msg_code == JWRN_JPEG_EOF) {
        reinterpret_cast<TErrorManager*>(cinfo->err)->Truncated = true;
        FailWith(cinfo, "Premature end of JPEG file");
    }
}

void OutputMessage(j_common_ptr) {}

void InstallErrorManager(TErrorManager& err) {
    jpeg_std_error(&err.Pub);
    err.Pub.error_exit = ErrorExit;
    err.Pub.emit_message = EmitMessage;
    err.Pub.output_message = OutputMessage;
    err.Message[0] = '\0';
    err.Truncated = false;
    err.RowsDone = false;
}

// Stops pathological files with thousands of tiny scans, which otherwise decode for minutes.
struct TScanLimiter {
    jpeg_progress_mgr Pub; // first member
    int32_t MaxScans;
};

void ProgressMonitor(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor)
        return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto* limiter = reinterpret_cast<TScanLimiter*>(cinfo->progress);
    if (d->input_scan_number > limiter->MaxScans)
        FailWith(cinfo, "JPEG image has too many scans");
}

enum class TMode { Info, Full, Scaled, BgrRows };

struct TDecodeRequest {
    TMode Mode = TMode::Full;
    int32_t MinWidth = 0; // BgrRows: the exact size wanted
    int32_t MinHeight = 0;
    unsigned Denominator = 1; // Full: the DCT scale 1/Denominator
    TJpegLimits Limits;
    uint8_t* const* Rows = nullptr; // BgrRows: where each picture row goes
    bool* RowsWritten = nullptr;
};

bool TryResize(TBitmap& bitmap, int32_t w, int32_t h) noexcept {
    try {
        bitmap.Resize(w, h);
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
bool FinishAfterRows(jpeg_decompress_struct& cinfo, TErrorManager& err) {
    err.RowsDone = true;
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// All libjpeg work of one decode. No object with a destructor lives in this frame, so the
// jump back from libjpeg skips nothing; the results go to the caller's objects.
bool RunDecode(const uint8_t* data, size_t size, const TDecodeRequest& req, TJpegInfo& info,
               TBitmap& out, char* message, bool& truncated) {
    jpeg_decompress_struct cinfo;
    TErrorManager err;
    TScanLimiter limiter;
    InstallErrorManager(err);
    cinfo.err = &err.Pub;
    if (setjmp(err.Jump)) {
        std::memcpy(message, err.Message, JMSG_LENGTH_MAX);
        truncated = err.Truncated;
        jpeg_destroy_decompress(&cinfo);
        // Once every row is there, only missing data counts, not what follows the rows.
        return err.RowsDone && !err.Truncated;
    }
    jpeg_create_decompress(&cinfo);
    limiter.Pub.progress_monitor = ProgressMonitor;
    limiter.MaxScans = req.Limits.MaxProgressiveScans;
    cinfo.progress = &limiter.Pub;
    // Coefficient buffers of multi-scan images are "virtual arrays": bound them too. Without
    // a backing store libjpeg then fails cleanly instead of allocating.
    cinfo.mem->max_memory_to_use = static_cast<long>(
        std::min<int64_t>(std::max<int64_t>(req.Limits.MaxPixels, 1) * 8, int64_t{1} << 40));

    if (size == 0)
        FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "Empty JPEG image");
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);

    const int64_t w = cinfo.image_width, h = cinfo.image_height;
    if (w > req.Limits.MaxDimension || h > req.Limits.MaxDimension || w * h > req.Limits.MaxPixels)
        FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "JPEG image is too large");
    info.Width = static_cast<int32_t>(w);
    info.Height = static_cast<int32_t>(h);
    info.Components = cinfo.num_components;
    info.Progressive = cinfo.progressive_mode != 0;
    if (req.Mode == TMode::Info) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }

    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    if (req.Mode == TMode::BgrRows) {
        if (cmyk || w != req.MinWidth || h != req.MinHeight) {
            jpeg_destroy_decompress(&cinfo);
            return true;
        }
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        if (cinfo.output_components != 3)
            FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "Unsupported JPEG colour layout");
        ReadRows(cinfo, const_cast<JSAMPARRAY>(req.Rows));
        *req.RowsWritten = true;
        return FinishAfterRows(cinfo, err);
    }

    cinfo.scale_num = 1;
    cinfo.scale_denom = req.Denominator;
    if (req.Mode == TMode::Scaled) {
        // Thumbnails: the cheaper chroma upsampling is invisible at these sizes.
        cinfo.do_fancy_upsampling = FALSE;
        for (unsigned denom : {8u, 4u, 2u, 1u}) {
            cinfo.scale_denom = denom;
            jpeg_calc_output_dimensions(&cinfo);
            if ((req.MinWidth <= 0 || cinfo.output_width >= JDIMENSION(req.MinWidth)) &&
                (req.MinHeight <= 0 || cinfo.output_height >= JDIMENSION(req.MinHeight)))
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
            CmykRowToRgb(line[0], out.Row(static_cast<int32_t>(y)), ow,
                         cinfo.saw_Adobe_marker != 0);
        }
    } else {
        auto rows = static_cast<JSAMPARRAY>((*cinfo.mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, sizeof(JSAMPROW) * oh));
        for (JDIMENSION y = 0; y < oh; ++y)
            rows[y] = out.Row(static_cast<int32_t>(y));
        ReadRows(cinfo, rows);
    }
    return FinishAfterRows(cinfo, err);
}

// RunDecode, with its failure raised as the error that says why.
void DecodeOrThrow(std::string_view bytes, const TDecodeRequest& req, TJpegInfo& info,
                   TBitmap& out) {
    char message[JMSG_LENGTH_MAX];
    bool truncated = false;
    if (RunDecode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), req, info, out,
                  message, truncated))
        return;
    if (truncated)
        throw EJpegTruncatedError(message);
    throw EJpegError(message);
}

TBitmap Decode(std::string_view bytes, const TDecodeRequest& req) {
    TJpegInfo info;
    TBitmap out;
    DecodeOrThrow(bytes, req, info, out);
    return out;
}

struct TEncodeOutput {
    unsigned char* Buffer = nullptr;
    unsigned long Size = 0;
};

bool RunEncode(const TBitmap& bitmap, int quality, TEncodeOutput& output, char* message) {
    jpeg_compress_struct cinfo;
    TErrorManager err;
    InstallErrorManager(err);
    cinfo.err = &err.Pub;
    if (setjmp(err.Jump)) {
        std::memcpy(message, err.Message, JMSG_LENGTH_MAX);
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &output.Buffer, &output.Size);
    cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width);
    cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo); // baseline sequential, Huffman
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        // libjpeg only reads the rows; its API is not const-correct.
        JSAMPROW row = const_cast<JSAMPROW>(bitmap.Row(static_cast<int32_t>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

TJpegInfo ReadJpegInfo(std::string_view bytes, const TJpegLimits& limits) {
    TDecodeRequest req;
    req.Mode = TMode::Info;
    req.Limits = limits;
    TJpegInfo info;
    TBitmap unused;
    DecodeOrThrow(bytes, req, info, unused);
    return info;
}

TBitmap DecodeJpeg(std::string_view bytes, const TJpegLimits& limits) {
    TDecodeRequest req;
    req.Limits = limits;
    return Decode(bytes, req);
}

TBitmap DecodeJpegScaled(std::string_view bytes, int32_t minWidth, int32_t minHeight,
                         const TJpegLimits& limits) {
    TDecodeRequest req;
    req.Mode = TMode::Scaled;
    req.MinWidth = minWidth;
    req.MinHeight = minHeight;
    req.Limits = limits;
    return Decode(bytes, req);
}

int32_t JpegScaleDenominator(int32_t width, int32_t height, int32_t minWidth, int32_t minHeight) {
    for (int32_t denom : {8, 4, 2}) {
        if (JpegScaledLength(width, denom) >= minWidth &&
            JpegScaledLength(height, denom) >= minHeight)
            return denom;
    }
    return 1;
}

TBitmap DecodeJpegAtScale(std::string_view bytes, int32_t denominator, const TJpegLimits& limits) {
    if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8)
        throw EJpegError("Unsupported JPEG scale");
    TDecodeRequest req;
    req.Denominator = static_cast<unsigned>(denominator);
    req.Limits = limits;
    return Decode(bytes, req);
}

std::string EncodeJpeg(const TBitmap& bitmap, int quality) {
    if (bitmap.Empty())
        throw EJpegError("Cannot encode an empty picture");
    if (bitmap.Pixels.size() != bitmap.Stride() * static_cast<size_t>(bitmap.Height))
        throw EJpegError("Picture size does not match its pixels");
    quality = std::clamp(quality, 1, 100);
    TEncodeOutput output;
    char message[JMSG_LENGTH_MAX];
    const bool ok = RunEncode(bitmap, quality, output, message);
    std::string result;
    if (ok && output.Buffer)
        result.assign(reinterpret_cast<const char*>(output.Buffer), output.Size);
    std::free(output.Buffer); // jpeg_mem_dest allocates with malloc
    if (!ok)
        throw EJpegError(message);
    return result;
}

bool DecodeJpegBgrInto(std::string_view bytes, int32_t width, int32_t height, uint8_t* const* rows,
                       const TJpegLimits& limits) {
    TDecodeRequest req;
    req.Mode = TMode::BgrRows;
    req.MinWidth = width;
    req.MinHeight = height;
    req.Limits = limits;
    req.Rows = rows;
    bool written = false;
    req.RowsWritten = &written;
    TJpegInfo info;
    TBitmap unused;
    DecodeOrThrow(bytes, req, info, unused);
    return written;
}

TJpegImage LoadJpeg(std::string bytes, const TJpegLimits& limits) {
    TJpegImage image;
    image.Bitmap = DecodeJpeg(bytes, limits);
    image.Bytes = std::move(bytes);
    return image;
}

TJpegImage LoadJpegFile(const std::filesystem::path& path, const TJpegLimits& limits,
                        uint64_t maxBytes) {
    std::string bytes;
    try {
        bytes = ReadRegularFile(path, maxBytes);
    } catch (const std::system_error& e) {
        if (e.code().value() == EFBIG)
            throw EJpegError("File is too large for a JPEG image: " + path.string());
        throw EJpegError("Cannot read " + path.string() + ": " + e.code().message());
    }
    return LoadJpeg(std::move(bytes), limits);
}

void SaveJpegFile(const std::filesystem::path& path, const TBitmap& bitmap, int quality) {
    const std::string bytes = EncodeJpeg(bitmap, quality);
    // Atomic, and never through a link onto a FIFO or device.
    try {
        WriteFileAtomic(path, bytes);
    } catch (const std::system_error& e) {
        throw EJpegError("Cannot write " + path.string() + ": " + e.code().message());
    }
}

} // namespace ocelis
