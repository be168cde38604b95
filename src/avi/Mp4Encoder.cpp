#include "avi/Mp4Encoder.h"

#include "avi/AviWriter.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace ocelis {

namespace {

[[noreturn]] void Fail(const std::string& what, int code = 0) {
    std::string message = what;
    if (code < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        message += ": ";
        message += text;
    }
    throw EAviError(message, TAviErrorKind::Mp4);
}

// The libraries print nothing: failures reach the user through our errors.
void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

} // namespace

TMp4Size Mp4SizeFor(int32_t width, int32_t height, const TMp4Options& options) {
    TMp4Size s;
    s.PictureWidth = std::max(width, 1);
    s.PictureHeight = std::max(height, 1);
    const int64_t boxW = options.MaxWidth > 0 ? options.MaxWidth : INT32_MAX;
    const int64_t boxH = options.MaxHeight > 0 ? options.MaxHeight : INT32_MAX;
    if (s.PictureWidth > boxW || s.PictureHeight > boxH) {
        // The smaller of the two ratios, rounded down so the result fits.
        if (int64_t{s.PictureWidth} * boxH >= int64_t{s.PictureHeight} * boxW) {
            s.PictureHeight =
                static_cast<int32_t>(std::max<int64_t>(1, s.PictureHeight * boxW / s.PictureWidth));
            s.PictureWidth = static_cast<int32_t>(boxW);
        } else {
            s.PictureWidth =
                static_cast<int32_t>(std::max<int64_t>(1, s.PictureWidth * boxH / s.PictureHeight));
            s.PictureHeight = static_cast<int32_t>(boxH);
        }
    }
    s.CodedWidth = s.PictureWidth + (s.PictureWidth & 1);
    s.CodedHeight = s.PictureHeight + (s.PictureHeight & 1);
    return s;
}

struct TMp4Encoder::TState {
    AVFormatContext* Format = nullptr;
    AVCodecContext* Codec = nullptr;
    AVStream* Stream = nullptr;
    AVFrame* Frame = nullptr;
    AVPacket* Packet = nullptr;
    SwsContext* Scale = nullptr;
    int32_t Width = 0, Height = 0;
    int64_t Next = 0;
    bool Finished = false;

    ~TState() {
        sws_freeContext(Scale);
        av_packet_free(&Packet);
        av_frame_free(&Frame);
        avcodec_free_context(&Codec);
        if (Format) {
            if (Format->pb)
                avio_closep(&Format->pb);
            avformat_free_context(Format);
        }
    }

    // Sends a frame (nullptr drains) and writes every packet the encoder gives back.
    void Send(const AVFrame* frame) {
        int r = avcodec_send_frame(Codec, frame);
        if (r < 0)
            Fail("the H.264 encoder refused a picture", r);
        for (;;) {
            r = avcodec_receive_packet(Codec, Packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return;
            if (r < 0)
                Fail("the H.264 encoder failed", r);
            // Every picture lasts one tick of the time base, the last one included.
            if (Packet->duration <= 0)
                Packet->duration = 1;
            av_packet_rescale_ts(Packet, Codec->time_base, Stream->time_base);
            Packet->stream_index = Stream->index;
            r = av_interleaved_write_frame(Format, Packet);
            if (r < 0)
                Fail("the file could not be written", r);
        }
    }
};

TMp4Encoder::TMp4Encoder(const std::string& path, int32_t width, int32_t height,
                         uint32_t frameTimeMs, const TMp4Options& options)
    : FState(std::make_unique<TState>()), FSize(Mp4SizeFor(width, height, options)) {
    QuietLibraries();
    TState& s = *FState;
    s.Width = width;
    s.Height = height;
    // "file:" keeps a colon in the name from reading as a protocol; the muxer reopens the
    // file by this name to move the index to the front.
    const std::string url = "file:" + path;
    int r = avformat_alloc_output_context2(&s.Format, nullptr, "mp4", url.c_str());
    if (r < 0 || !s.Format)
        Fail("the MP4 format is not available", r);
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        Fail("no H.264 encoder (libx264) is available");
    s.Stream = avformat_new_stream(s.Format, nullptr);
    s.Codec = avcodec_alloc_context3(codec);
    s.Frame = av_frame_alloc();
    s.Packet = av_packet_alloc();
    if (!s.Stream || !s.Codec || !s.Frame || !s.Packet)
        throw std::bad_alloc();

    // One tick per picture: a pause of 2 s is 0.5 pictures a second, not repeated frames.
    AVRational tick{};
    av_reduce(&tick.num, &tick.den, std::max<uint32_t>(frameTimeMs, 1), 1000, INT_MAX);
    AVCodecContext* c = s.Codec;
    c->width = FSize.CodedWidth;
    c->height = FSize.CodedHeight;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = tick;
    c->framerate = AVRational{tick.den, tick.num};
    c->sample_aspect_ratio = AVRational{1, 1};
    // JPEG's full-range colour goes out as limited-range BT.601 and says so.
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_SMPTE170M;
    c->color_primaries = AVCOL_PRI_SMPTE170M;
    c->color_trc = AVCOL_TRC_SMPTE170M;
    if (s.Format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c->thread_count = 0; // as many as the encoder finds useful
    av_opt_set(c->priv_data, "preset", options.Preset.c_str(), 0);
    av_opt_set_double(c->priv_data, "crf", std::clamp(options.Crf, 0, 51), 0);
    r = avcodec_open2(c, codec, nullptr);
    if (r < 0)
        Fail("the H.264 encoder could not be started", r);
    r = avcodec_parameters_from_context(s.Stream->codecpar, c);
    if (r < 0)
        Fail("the H.264 encoder could not be started", r);
    s.Stream->time_base = tick;
    s.Stream->avg_frame_rate = c->framerate;
    s.Stream->sample_aspect_ratio = c->sample_aspect_ratio;

    r = avio_open(&s.Format->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (r < 0)
        Fail("the file could not be created", r);
    AVDictionary* muxOptions = nullptr;
    av_dict_set(&muxOptions, "movflags", "+faststart", 0);
    r = avformat_write_header(s.Format, &muxOptions);
    av_dict_free(&muxOptions);
    if (r < 0)
        Fail("the file could not be written", r);

    s.Frame->format = AV_PIX_FMT_YUV420P;
    s.Frame->width = FSize.CodedWidth;
    s.Frame->height = FSize.CodedHeight;
    s.Frame->color_range = AVCOL_RANGE_MPEG;
    s.Frame->colorspace = AVCOL_SPC_SMPTE170M;
    r = av_frame_get_buffer(s.Frame, 0);
    if (r < 0)
        Fail("no memory for a picture", r);

    const bool shrink = FSize.PictureWidth < width || FSize.PictureHeight < height;
    s.Scale =
        sws_getContext(width, height, AV_PIX_FMT_BGR24, FSize.PictureWidth, FSize.PictureHeight,
                       AV_PIX_FMT_YUV420P, (shrink ? SWS_AREA : SWS_BICUBIC) | SWS_ACCURATE_RND,
                       nullptr, nullptr, nullptr);
    if (!s.Scale)
        Fail("the picture converter could not be started");
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(s.Scale, bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16);
}

TMp4Encoder::~TMp4Encoder() = default;

void TMp4Encoder::AddFrame(const uint8_t* bottomUpBgr, size_t rowBytes) {
    TState& s = *FState;
    int r = av_frame_make_writable(s.Frame);
    if (r < 0)
        Fail("no memory for a picture", r);
    // A negative stride reads the bottom-up rows top to bottom.
    const uint8_t* const src[1] = {bottomUpBgr + (static_cast<size_t>(s.Height) - 1) * rowBytes};
    const int srcStride[1] = {-static_cast<int>(rowBytes)};
    sws_scale(s.Scale, src, srcStride, 0, s.Height, s.Frame->data, s.Frame->linesize);
    // Odd sizes: the added luma column and row repeat their neighbours (chroma already
    // covers them, being rounded up).
    uint8_t* luma = s.Frame->data[0];
    const int ls = s.Frame->linesize[0];
    if (FSize.CodedWidth > FSize.PictureWidth)
        for (int y = 0; y < FSize.PictureHeight; ++y)
            luma[y * ls + FSize.PictureWidth] = luma[y * ls + FSize.PictureWidth - 1];
    if (FSize.CodedHeight > FSize.PictureHeight)
        std::memcpy(luma + FSize.PictureHeight * ls, luma + (FSize.PictureHeight - 1) * ls,
                    static_cast<size_t>(FSize.CodedWidth));
    s.Frame->pts = s.Next++;
    s.Send(s.Frame);
}

void TMp4Encoder::Finish() {
    TState& s = *FState;
    if (s.Finished)
        return;
    s.Send(nullptr);
    const int r = av_write_trailer(s.Format);
    if (r < 0)
        Fail("the file could not be written", r);
    s.Finished = true;
    const int closed = avio_closep(&s.Format->pb);
    if (closed < 0)
        Fail("the file could not be written", closed);
}

} // namespace ocelis
