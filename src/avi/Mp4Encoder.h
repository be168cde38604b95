// H.264 in MP4 from the writer's frames (bottom-up BGR rows, as the AVI gets them), through
// FFmpeg's libraries. Plain C++ without windows; one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace ocelis {

struct TMp4Options {
    int Crf = 23;                  // constant quality: 0 lossless .. 51 worst
    std::string Preset = "medium"; // the encoder's speed / size trade-off
    int32_t MaxWidth = 3840;       // larger pictures are scaled down to fit, proportions
    int32_t MaxHeight = 2160;      // kept (what phones and browsers decode); 0: no bound
};

// The coded size for pictures of width x height: fitted into the bound, then made even
// (the picture keeps its size, the added row or column repeats its neighbour).
struct TMp4Size {
    int32_t PictureWidth = 0, PictureHeight = 0;
    int32_t CodedWidth = 0, CodedHeight = 0;
};
TMp4Size Mp4SizeFor(int32_t width, int32_t height, const TMp4Options& options);

class TMp4Encoder {
public:
    // Creates path (replacing its contents) and writes the header. Each frame shows for
    // frameTimeMs milliseconds (at least 1). Throws EAviError of kind Mp4.
    TMp4Encoder(const std::string& path, int32_t width, int32_t height, uint32_t frameTimeMs,
                const TMp4Options& options);
    ~TMp4Encoder();
    TMp4Encoder(const TMp4Encoder&) = delete;
    TMp4Encoder& operator=(const TMp4Encoder&) = delete;

    // width x height pixels, bottom row first, rows of rowBytes bytes in B, G, R order.
    void AddFrame(const uint8_t* bottomUpBgr, size_t rowBytes);
    // Drains the encoder and writes the index at the file's front; the file is closed then.
    void Finish();

    const TMp4Size& Size() const { return FSize; }

private:
    struct TState;
    std::unique_ptr<TState> FState;
    TMp4Size FSize;
};

} // namespace ocelis
