// Writes an AVI video from pictures: uncompressed 24-bit frames, or the JPEG files' own bytes
// as an MJPG stream. Plain C++ without windows, usable from any one thread at a time.
//
// Two ways in:
//  - Write(): the pictures in Bitmaps, all decoded beforehand by the caller.
//  - WriteJpegFiles() / WriteFrames(): pictures pulled one at a time, so memory stays flat
//    in the number of frames; with a progress callback and a cancel flag, meant to run on a
//    worker thread. Two helper threads inside the writer prepare the next frames (read,
//    decode, draw) while the calling thread writes; they have ended when the call returns.
//
// A FileName ending in ".mp4" (any letter case) writes H.264 in MP4 instead (see Mp4Encoder.h),
// from the same frames, with the same progress, cancel and temporary file.
//
// Every call writes into a temporary file beside FileName ("." + name + ".tmp-...") and
// renames it over FileName at the end, so FileName is either the complete new file or what
// it was before. Failures throw EAviError with the message to show; the temporary file is
// removed then, and also on cancel.
#pragma once

#include "avi/Mp4Encoder.h"
#include "imaging/Bitmap.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ocelis {

// FrameTooLarge: the frame is beyond what the AVI format can hold (Width and Height say
// how large); Mp4: the video libraries failed (the text says how).
enum class TAviErrorKind { Other, FrameTooLarge, Mp4 };

class EAviError : public std::runtime_error {
public:
    explicit EAviError(const std::string& what, TAviErrorKind kind = TAviErrorKind::Other)
        : std::runtime_error(what), Kind(kind) {}
    TAviErrorKind Kind;
    int32_t Width = 0, Height = 0;
};

// Why entries gave no frame, counted over one write.
struct TAviSkips {
    size_t Unreadable = 0; // missing, not a regular file, over the file size bound
    size_t NotJpeg = 0;    // no JPEG start marker
    size_t Damaged = 0;    // a JPEG the decoder refuses
    size_t Total() const { return Unreadable + NotJpeg + Damaged; }
};

// One entry of a frame source. Give Picture, or Jpeg bytes, or both:
//  - uncompressed: Picture is drawn; without one, Jpeg is decoded (a failure skips the entry).
//  - KeepJpeg: Jpeg goes into the file unchanged when its header checks out and its size is
//    the frame size; otherwise the picture (decoded from Jpeg when absent) is drawn and
//    encoded again. A Jpeg whose markers are damaged skips the entry.
// The pointed-to data must stay valid until the source's next Get call or the end of the write.
struct TAviFrame {
    const TBitmap* Picture = nullptr;
    std::string_view Jpeg;
};

// Frames pulled by the writer. Get is called once per entry, i = 0 .. Count() - 1 in order,
// on the writer's helper threads (one call at a time, not always on the same thread), so it
// must not touch windows. Count() is read on the calling thread before the first Get.
class AviFrameSource {
public:
    virtual ~AviFrameSource() = default;
    virtual size_t Count() const = 0;
    // false: the entry gives no frame (it still counts for progress).
    virtual bool Get(size_t i, TAviFrame& frame) = 0;
};

struct TAviProgress {
    // Called on the calling thread after each entry, written or skipped: (done, Count()).
    std::function<void(size_t done, size_t total)> OnProgress;
    // Looked at before each entry; when it turns true the write stops and removes its file.
    const std::atomic<bool>* Cancel = nullptr;
};

enum class TAviResult { Written, Cancelled };

// Not thread-safe itself: set the fields, then make one call at a time from one thread (a
// worker thread is fine; nothing here touches windows). Fields must not change meanwhile.
class TAviWriter {
public:
    // The screen's size in pixels gives the default frame size (a tenth in each direction).
    TAviWriter(int32_t screenWidth, int32_t screenHeight);

    int32_t Height;           // frame height in pixels, 1 .. 32767 (AVI)
    int32_t Width;            // frame width in pixels, 1 .. 32767 (AVI); an uncompressed
                              // frame must also fit one RIFF chunk (RiffLimit)
    int32_t FrameTime = 1000; // ms each frame shows (stream scale; rate 1000); 0 is written
                              // as 1 (1000 frames a second), negative is refused
    bool Stretch = true;      // true: stretched over the frame, proportions not kept;
                              // false: unscaled at the top-left on the colour of the
                              // picture's top-left pixel, cut off at the right and bottom
    std::string FileName;     // the AVI file to write (replaced without asking)
    bool KeepJpeg = false;    // MJPG stream: JPEG bytes kept where they fit (see TAviFrame);
                              // pictures without usable bytes are encoded at JpegQuality
    int JpegQuality = 90;
    TMp4Options Mp4; // for a FileName ending in ".mp4"

    // Entries of the last write that gave no frame, by reason.
    TAviSkips Skipped;

    // The pictures for Write(), in frame order. A null or empty entry is "not a TBitmap".
    // The pictures belong to the caller and must live until Write returns.
    std::vector<const TBitmap*> Bitmaps;

    // A WAV file whose audio becomes the second stream unchanged; empty for none.
    const std::string& WavFileName() const { return FWavFileName; }
    // Throws "WavFileName must name a file with the .wav extension" (value kept) unless the
    // new name equals the current one ignoring case or ends in ".wav" in any case (so ""
    // is refused once a name is set).
    void SetWavFileName(const std::string& name);

    // Writes FileName from Bitmaps. Throws EAviError (or std::bad_alloc), with these texts:
    //  before any file is touched:
    //   "No bitmaps on the Bitmaps list", "Bitmaps[2] is not a TBitmap" (the first bad one),
    //   "Failed to create AVI video stream" (Width or Height below 1, FrameTime negative),
    //   kind FrameTooLarge (over 32767 pixels a side, or an uncompressed frame over the
    //   RIFF bound; MP4 has neither bound),
    //   "AVI file too large" (more than the super index can hold, about 256 GiB),
    //   the WAV file: "A disk error occurred while opening the audio file." (missing, not a
    //   regular file), "The file could not be read, indicating a corrupt file or an
    //   unrecognized format." (not RIFF WAVE, no usable fmt), "Unable to get audio stream"
    //   (no data chunk), "A disk error occurred while reading the audio file.";
    //  then: "Failed to create AVI video work file" (no folder, FileName empty or a folder,
    //   cannot create the temporary file), "Failed to add frame to AVI. Err=0000001C" (the
    //   errno of the failed write, 8 hex digits; ENOSPC here), "Unable to write output
    //   file" (index, flush to disk or rename failed).
    void Write();

    // The creator's path: JPEG files in frame order, loaded one at a time, as the creator's
    // production loads them: a file that cannot be read (missing, not a regular file, over
    // 64 MiB) or decoded is skipped (counted in Skipped); when the first file loads, Width and
    // Height become its size, else they stay as they are. Uses Stretch, FrameTime, KeepJpeg and
    // WavFileName. Errors as Write; no files, or none loadable, is "No bitmaps on the Bitmaps list"
    // with no file left. Returns Cancelled (no file left, FileName untouched) when progress.Cancel
    // turned true, else Written.
    TAviResult WriteJpegFiles(const std::vector<std::filesystem::path>& files,
                              const TAviProgress& progress = {});

    // Any frame source, at the current Width and Height; otherwise as WriteJpegFiles.
    TAviResult WriteFrames(AviFrameSource& source, const TAviProgress& progress = {});

    // Test seam: the size bound of one RIFF chunk and the super index's entries (OpenDML).
    uint64_t RiffLimit;
    uint32_t SuperIndexEntries;

private:
    std::string FWavFileName;
};

// Row bytes of a 24-bit frame: 3 bytes a pixel, padded to a multiple of 4.
constexpr uint32_t AviRowBytes(int32_t width) {
    return ((static_cast<uint32_t>(width) * 24 + 31) & ~31u) / 8;
}

// Whether the name asks for MP4: it ends in ".mp4", in any letter case.
bool IsMp4FileName(const std::string& name);

// Draws the picture into a bottom-up BGR frame of width x height with AviRowBytes rows,
// as Stretch says.
void DrawAviFrame(const TBitmap& picture, bool stretch, int32_t width, int32_t height,
                  uint8_t* frame);

// What the writer needs to know of a JPEG file without decoding it: markers in order up
// to the scan, an end marker, and the frame size. Passable: its bytes can go unchanged
// into an MJPG stream (Huffman-coded baseline or progressive, grey or YCbCr).
struct TJpegCheck {
    bool Valid = false;
    bool Passable = false;
    int32_t Width = 0;
    int32_t Height = 0;
};
TJpegCheck CheckJpegMarkers(std::string_view bytes);

} // namespace ocelis
