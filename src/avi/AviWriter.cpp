#include "avi/AviWriter.h"

#include "avi/AviFile.h"
#include "imaging/Jpeg.h"
#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace ocelis {

namespace {

constexpr int32_t kMaxSide = 32767;            // the stream header's frame rectangle is 16-bit
constexpr uint64_t kMaxInputBytes = 64u << 20; // one JPEG file
// Headers and indexes beside the first frame in the first RIFF (a few KiB).
constexpr uint64_t kFirstRiffRoom = 16u << 10;

[[noreturn]] void Raise(const std::string& message) {
    throw EAviError(message);
}

std::string ToLowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The extension as the user sees it: from the last dot of the last path element.
std::string Extension(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return name.substr(dot);
}

bool UsablePicture(const TBitmap* b) {
    return b && !b->Empty() && b->Pixels.size() >= b->Stride() * static_cast<size_t>(b->Height);
}

// Draws into rows of stride bytes; bottomUpBgr gives the frame layout, else top-down RGB.
void Draw(const TBitmap& pic, bool stretch, int32_t w, int32_t h, uint8_t* dst, size_t stride,
          bool bottomUpBgr) {
    const int r = bottomUpBgr ? 2 : 0, b = bottomUpBgr ? 0 : 2;
    const size_t pixelBytes = static_cast<size_t>(w) * 3;
    auto rowAt = [&](int32_t y) {
        return dst + static_cast<size_t>(bottomUpBgr ? h - 1 - y : y) * stride;
    };
    auto copy = [&](const uint8_t* s, uint8_t* d) {
        d[r] = s[0];
        d[1] = s[1];
        d[b] = s[2];
    };
    if (stretch) {
        std::vector<uint32_t> xs(static_cast<size_t>(w));
        for (int32_t x = 0; x < w; ++x)
            xs[static_cast<size_t>(x)] = static_cast<uint32_t>(int64_t{x} * pic.Width / w) * 3;
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = pic.Row(static_cast<int32_t>(int64_t{y} * pic.Height / h));
            uint8_t* d = rowAt(y);
            for (int32_t x = 0; x < w; ++x)
                copy(s + xs[static_cast<size_t>(x)], d + 3 * static_cast<size_t>(x));
            std::memset(d + pixelBytes, 0, stride - pixelBytes);
        }
        return;
    }
    const uint8_t* corner = pic.Row(0);
    const int32_t cw = std::min(w, pic.Width), ch = std::min(h, pic.Height);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* d = rowAt(y);
        int32_t x = 0;
        if (y < ch) {
            const uint8_t* s = pic.Row(y);
            for (; x < cw; ++x)
                copy(s + 3 * static_cast<size_t>(x), d + 3 * static_cast<size_t>(x));
        }
        for (; x < w; ++x)
            copy(corner, d + 3 * static_cast<size_t>(x));
        std::memset(d + pixelBytes, 0, stride - pixelBytes);
    }
}

// --- WAV input -------------------------------------------------------------------------

const char* const kWavOpen = "A disk error occurred while opening the audio file.";
const char* const kWavRead = "A disk error occurred while reading the audio file.";
const char* const kWavFormat =
    "The file could not be read, indicating a corrupt file or an unrecognized format.";

// Closes the descriptor also when its owner's constructor throws.
struct TOwnedFd {
    int Fd = -1;
    TOwnedFd() = default;
    TOwnedFd(const TOwnedFd&) = delete;
    TOwnedFd& operator=(const TOwnedFd&) = delete;
    ~TOwnedFd() {
        if (Fd >= 0)
            ::close(Fd);
    }
};

class TWavInput {
public:
    explicit TWavInput(const std::string& name) {
        uint64_t size = 0;
        try {
            FFile.Fd = OpenRegularFile(name, &size);
        } catch (const std::system_error&) {
            Raise(kWavOpen);
        }
        if (size < 12)
            Raise(kWavFormat);
        char riff[12];
        ReadAt(0, riff, 12);
        if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
            Raise(kWavFormat);
        bool haveData = false;
        for (uint64_t pos = 12; pos + 8 <= size;) {
            unsigned char head[8];
            ReadAt(pos, head, 8);
            const uint32_t len = head[4] | head[5] << 8 | head[6] << 16 | uint32_t{head[7]} << 24;
            if (std::memcmp(head, "fmt ", 4) == 0 && Format.empty()) {
                if (len < 16 || len > 65536 || pos + 8 + len > size)
                    Raise(kWavFormat);
                Format.resize(len);
                ReadAt(pos + 8, Format.data(), len);
            } else if (std::memcmp(head, "data", 4) == 0 && !haveData) {
                haveData = true;
                DataPos = pos + 8;
                DataSize = std::min<uint64_t>(len, size - DataPos);
            }
            if (haveData && !Format.empty())
                break;
            pos += 8 + uint64_t{len} + (len & 1);
        }
        if (Format.empty())
            Raise(kWavFormat);
        const auto* f = reinterpret_cast<const unsigned char*>(Format.data());
        AvgBytesPerSec = f[8] | f[9] << 8 | f[10] << 16 | uint32_t{f[11]} << 24;
        BlockAlign = static_cast<uint16_t>(f[12] | f[13] << 8);
        if (BlockAlign == 0 || AvgBytesPerSec == 0)
            Raise(kWavFormat);
        if (!haveData)
            Raise("Unable to get audio stream");
        DataSize -= DataSize % BlockAlign;
    }
    void ReadAt(uint64_t pos, void* out, size_t size) const {
        auto* p = static_cast<char*>(out);
        while (size > 0) {
            const ssize_t n = ::pread(FFile.Fd, p, size, static_cast<off_t>(pos));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                Raise(kWavRead);
            p += n;
            size -= static_cast<size_t>(n);
            pos += static_cast<uint64_t>(n);
        }
    }

    std::string Format;
    uint64_t DataPos = 0;
    uint64_t DataSize = 0;
    uint32_t AvgBytesPerSec = 0;
    uint16_t BlockAlign = 0;

private:
    TOwnedFd FFile;
};

// --- Output file -----------------------------------------------------------------------

// The temporary file beside the target; removed unless committed.
class TTempOutput {
public:
    explicit TTempOutput(const std::string& fileName) {
        const char* const createFailed = "Failed to create AVI video work file";
        if (fileName.empty())
            Raise(createFailed);
        try {
            FTarget = ResolveWriteTarget(fileName);
        } catch (...) {
            Raise(createFailed);
        }
        struct stat st {};
        FExists = ::stat(FTarget.c_str(), &st) == 0;
        if (FExists && !S_ISREG(st.st_mode))
            Raise(createFailed);
        FMode = st.st_mode & 07777;
        fs::path dir = FTarget.parent_path();
        if (dir.empty())
            dir = ".";
        FDir = dir;
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100 && FFd < 0; ++attempt) {
            // Built by appending: GCC 12 warns falsely on "." + string when optimising.
            std::string name = ".";
            name += FTarget.filename().string();
            name += ".tmp-";
            name += std::to_string(::getpid());
            name += '-';
            name += std::to_string(counter++);
            FTemp = dir / name;
            FFd = ::open(FTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (FFd < 0 && errno != EEXIST)
                break;
        }
        if (FFd < 0)
            Raise(createFailed);
    }
    ~TTempOutput() {
        if (FFd >= 0)
            ::close(FFd);
        if (!FCommitted)
            ::unlink(FTemp.c_str());
    }
    TTempOutput(const TTempOutput&) = delete;
    TTempOutput& operator=(const TTempOutput&) = delete;

    int Fd() const { return FFd; }
    const fs::path& Path() const { return FTemp; }

    // Flushed to disk before the rename, so that a late write error is reported here and
    // never as success.
    void Commit() {
        const char* const failed = "Unable to write output file";
        if (FExists)
            ::fchmod(FFd, FMode);
        if (::fdatasync(FFd) != 0)
            Raise(failed);
        const int closed = ::close(FFd);
        FFd = -1;
        if (closed != 0)
            Raise(failed);
        // The target may have been replaced by a FIFO or device while the frames were written.
        try {
            CheckWriteTarget(FTarget);
        } catch (...) {
            Raise(failed);
        }
        if (::rename(FTemp.c_str(), FTarget.c_str()) != 0)
            Raise(failed);
        FCommitted = true;
        const int dfd = ::open(FDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
    }

private:
    fs::path FTarget, FTemp, FDir;
    bool FExists = false;
    mode_t FMode = 0;
    int FFd = -1;
    bool FCommitted = false;
};

// --- Frame preparation on the helper thread --------------------------------------------

enum class TSkip { None, Unreadable, NotJpeg, Damaged };

// Bytes that start like a JPEG are a damaged one when they do not decode.
TSkip SkipFor(std::string_view jpeg) {
    return jpeg.size() >= 2 && static_cast<unsigned char>(jpeg[0]) == 0xFF &&
                   static_cast<unsigned char>(jpeg[1]) == 0xD8
               ? TSkip::Damaged
               : TSkip::NotJpeg;
}

struct TPrepared {
    size_t Index = 0;
    TSkip Skip = TSkip::None;
    bool End = false;
    std::exception_ptr Error;
    TPixelBuffer Data;
    size_t Size = 0;
};

struct TFrameFormat {
    int32_t Width;
    int32_t Height;
    bool Stretch;
    bool KeepJpeg;
    int Quality;
    TJpegLimits Limits;
    size_t FrameBytes() const { return size_t{AviRowBytes(Width)} * static_cast<size_t>(Height); }
};

void Prepare(const TFrameFormat& format, const TAviFrame& frame, TPrepared& out) {
    TBitmap decoded;
    const TBitmap* pic = frame.Picture;
    if (format.KeepJpeg && !frame.Jpeg.empty()) {
        const TJpegCheck check = CheckJpegMarkers(frame.Jpeg);
        if (!check.Valid) {
            out.Skip = SkipFor(frame.Jpeg);
            return;
        }
        if (check.Passable && check.Width == format.Width && check.Height == format.Height) {
            out.Data.resize(frame.Jpeg.size());
            std::memcpy(out.Data.data(), frame.Jpeg.data(), frame.Jpeg.size());
            out.Size = frame.Jpeg.size();
            return;
        }
    }
    if (!UsablePicture(pic) && !frame.Jpeg.empty() && !format.KeepJpeg) {
        // The usual case, a picture of the frame's size: decoded straight into the frame.
        const size_t rowBytes = AviRowBytes(format.Width);
        out.Data.resize(format.FrameBytes());
        std::vector<uint8_t*> rows(static_cast<size_t>(format.Height));
        for (size_t y = 0; y < rows.size(); ++y)
            rows[y] = out.Data.data() + (rows.size() - 1 - y) * rowBytes;
        try {
            if (DecodeJpegBgrInto(frame.Jpeg, format.Width, format.Height, rows.data(),
                                  format.Limits)) {
                const size_t pixelBytes = size_t{3} * static_cast<size_t>(format.Width);
                if (rowBytes > pixelBytes)
                    for (uint8_t* row : rows)
                        std::memset(row + pixelBytes, 0, rowBytes - pixelBytes);
                out.Size = format.FrameBytes();
                return;
            }
        } catch (const std::exception&) {
            out.Skip = SkipFor(frame.Jpeg);
            return;
        }
    }
    if (!UsablePicture(pic) && !frame.Jpeg.empty()) {
        try {
            decoded = DecodeJpeg(frame.Jpeg, format.Limits);
            pic = &decoded;
        } catch (const std::exception&) {
            pic = nullptr;
        }
    }
    if (!UsablePicture(pic)) {
        out.Skip = SkipFor(frame.Jpeg);
        return;
    }
    if (!format.KeepJpeg) {
        out.Data.resize(format.FrameBytes());
        Draw(*pic, format.Stretch, format.Width, format.Height, out.Data.data(),
             AviRowBytes(format.Width), true);
        out.Size = format.FrameBytes();
        return;
    }
    TBitmap canvas;
    canvas.Resize(format.Width, format.Height);
    Draw(*pic, format.Stretch, format.Width, format.Height, canvas.Pixels.data(), canvas.Stride(),
         false);
    const std::string jpeg = EncodeJpeg(canvas, format.Quality);
    out.Data.resize(jpeg.size());
    std::memcpy(out.Data.data(), jpeg.data(), jpeg.size());
    out.Size = jpeg.size();
}

// Prepares frames on helper threads, at most a few megabytes ahead of the writing thread.
// The source is asked in order under one lock; JPEG bytes are copied out there, so that
// decoding and drawing run on both helpers at once. Pictures are drawn under the lock,
// as the source keeps them valid only until its next Get.
class TPipeline {
public:
    TPipeline(AviFrameSource& source, const TFrameFormat& format)
        : FSource(source), FFormat(format), FCount(source.Count()),
          FDepth(std::clamp<size_t>((32u << 20) / std::max<size_t>(format.FrameBytes(), 1), 2, 8)) {
        const unsigned helpers = std::clamp(std::thread::hardware_concurrency(), 1u, 2u);
        for (unsigned i = 0; i < helpers; ++i)
            FThreads.emplace_back([this] { Run(); });
    }
    ~TPipeline() {
        {
            std::lock_guard lock(FMutex);
            FStop = true;
        }
        FChanged.notify_all();
        for (auto& t : FThreads)
            t.join();
    }
    TPipeline(const TPipeline&) = delete;
    TPipeline& operator=(const TPipeline&) = delete;

    // The entries in order; the one after the last has End set.
    TPrepared Pop() {
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [&] { return FReady.count(FConsumed) > 0; });
        auto node = FReady.extract(FConsumed);
        ++FConsumed;
        FChanged.notify_all();
        return std::move(node.mapped());
    }
    // Buffers go back for reuse: fresh megabytes for every frame cost page faults.
    void Recycle(TPrepared&& p) {
        std::lock_guard lock(FMutex);
        FFree.push_back(std::move(p.Data));
    }

private:
    void Run() {
        std::string jpeg;
        for (;;) {
            TPrepared p;
            bool deferred = false;
            {
                std::lock_guard source(FSourceMutex);
                {
                    std::unique_lock lock(FMutex);
                    FChanged.wait(lock, [&] {
                        return FStop || FNext > FCount || FNext - FConsumed < FDepth;
                    });
                    if (FStop || FNext > FCount)
                        return;
                    p.Index = FNext++;
                    if (!FFree.empty()) {
                        p.Data = std::move(FFree.back());
                        FFree.pop_back();
                    }
                }
                if (p.Index == FCount) {
                    p.End = true;
                } else {
                    try {
                        TAviFrame frame;
                        if (!FSource.Get(p.Index, frame)) {
                            p.Skip = TSkip::Unreadable;
                        } else if (frame.Picture) {
                            Prepare(FFormat, frame, p);
                        } else {
                            jpeg.assign(frame.Jpeg);
                            deferred = true;
                        }
                    } catch (...) {
                        p.Error = std::current_exception();
                    }
                }
            }
            if (deferred) {
                try {
                    TAviFrame frame;
                    frame.Jpeg = jpeg;
                    Prepare(FFormat, frame, p);
                } catch (...) {
                    p.Error = std::current_exception();
                }
            }
            const bool last = p.End || p.Error;
            {
                std::lock_guard lock(FMutex);
                if (p.Error)
                    FNext = FCount + 1; // nothing after a failure is needed
                FReady.emplace(p.Index, std::move(p));
            }
            FChanged.notify_all();
            if (last)
                return;
        }
    }

    AviFrameSource& FSource;
    TFrameFormat FFormat;
    const size_t FCount;
    const size_t FDepth;
    std::mutex FSourceMutex; // taken before FMutex
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::map<size_t, TPrepared> FReady;
    std::vector<TPixelBuffer> FFree;
    size_t FNext = 0;     // next entry to take from the source
    size_t FConsumed = 0; // next entry the writing thread wants
    bool FStop = false;
    std::vector<std::thread> FThreads;
};

class TBitmapSource : public AviFrameSource {
public:
    explicit TBitmapSource(const std::vector<const TBitmap*>& list) : FList(list) {}
    size_t Count() const override { return FList.size(); }
    bool Get(size_t i, TAviFrame& frame) override {
        frame.Picture = FList[i];
        return true;
    }

private:
    const std::vector<const TBitmap*>& FList;
};

// A regular file's bytes, at most kMaxInputBytes; nothing for anything else.
std::optional<std::string> ReadInputFile(const fs::path& path) {
    try {
        return ReadRegularFile(path, kMaxInputBytes);
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

class TJpegFileSource : public AviFrameSource {
public:
    explicit TJpegFileSource(const std::vector<fs::path>& files) : FFiles(files) {}
    size_t Count() const override { return FFiles.size(); }
    bool Get(size_t i, TAviFrame& frame) override {
        if (i == 0 && FFirst) {
            FBytes = std::move(*FFirst);
            FFirst.reset();
            frame.Picture = FFirstPicture.Empty() ? nullptr : &FFirstPicture;
        } else {
            FFirstPicture = TBitmap();
            auto bytes = ReadInputFile(FFiles[i]);
            if (!bytes)
                return false;
            FBytes = std::move(*bytes);
        }
        frame.Jpeg = FBytes;
        return true;
    }

    // The first file's size when it loads, as the creator's production takes it.
    bool FirstSize(bool keepJpeg, const TJpegLimits& limits, int32_t& w, int32_t& h) {
        FFirst = ReadInputFile(FFiles[0]);
        if (!FFirst)
            return false;
        if (keepJpeg) {
            const TJpegCheck check = CheckJpegMarkers(*FFirst);
            if (!check.Valid)
                return false;
            if (check.Passable) {
                w = check.Width;
                h = check.Height;
                return true;
            }
        }
        try {
            FFirstPicture = DecodeJpeg(*FFirst, limits);
        } catch (const std::exception&) {
            return false;
        }
        w = FFirstPicture.Width;
        h = FFirstPicture.Height;
        return !FFirstPicture.Empty();
    }

private:
    const std::vector<fs::path>& FFiles;
    std::optional<std::string> FFirst;
    TBitmap FFirstPicture;
    std::string FBytes;
};

std::string BitmapInfoHeader(int32_t w, int32_t h, bool mjpeg) {
    std::string s;
    auto add32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    add32(40);
    add32(static_cast<uint32_t>(w));
    add32(static_cast<uint32_t>(h)); // positive: bottom-up rows
    add32(1 | 24 << 16);             // planes, bits per pixel
    if (mjpeg)
        s += "MJPG";
    else
        add32(0);
    add32(mjpeg ? static_cast<uint32_t>(w) * static_cast<uint32_t>(h) * 3
                : AviRowBytes(w) * static_cast<uint32_t>(h));
    s.append(16, '\0');
    return s;
}

// Runs the entries through the helper threads and hands each frame, in order, to write;
// counts the skipped ones. Cancelled when progress.Cancel turned true before an entry.
template <class TWrite>
TAviResult PumpFrames(AviFrameSource& source, const TFrameFormat& format,
                      const TAviProgress& progress, TAviSkips& skipped, TWrite&& write) {
    const size_t count = source.Count();
    TPipeline pipeline(source, format);
    for (;;) {
        if (progress.Cancel && progress.Cancel->load())
            return TAviResult::Cancelled;
        TPrepared p = pipeline.Pop();
        if (p.Error) {
            try {
                std::rethrow_exception(p.Error);
            } catch (const EAviError&) {
                throw;
            } catch (const std::bad_alloc&) {
                throw;
            } catch (const std::exception& e) {
                Raise(e.what());
            }
        }
        if (p.End)
            return TAviResult::Written;
        switch (p.Skip) {
        case TSkip::None:
            write(p);
            break;
        case TSkip::Unreadable:
            ++skipped.Unreadable;
            break;
        case TSkip::NotJpeg:
            ++skipped.NotJpeg;
            break;
        case TSkip::Damaged:
            ++skipped.Damaged;
            break;
        }
        const size_t done = p.Index + 1;
        pipeline.Recycle(std::move(p));
        if (progress.OnProgress)
            progress.OnProgress(done, count);
    }
}

} // namespace

TAviWriter::TAviWriter(int32_t screenWidth, int32_t screenHeight)
    : Height(screenHeight / 10), Width(screenWidth / 10), RiffLimit(TAviFile::kRiffLimit),
      SuperIndexEntries(TAviFile::kSuperIndexEntries) {}

void TAviWriter::SetWavFileName(const std::string& name) {
    if (ToLowerAscii(name) == ToLowerAscii(FWavFileName))
        return;
    if (ToLowerAscii(Extension(name)) != ".wav")
        Raise("WavFileName must name a file with the .wav extension");
    FWavFileName = name;
}

void TAviWriter::Write() {
    if (Bitmaps.empty())
        Raise("No bitmaps on the Bitmaps list");
    for (size_t i = 0; i < Bitmaps.size(); ++i)
        if (!UsablePicture(Bitmaps[i]))
            Raise("Bitmaps[" + std::to_string(i) + "] is not a TBitmap");
    TBitmapSource source(Bitmaps);
    WriteFrames(source);
}

TAviResult TAviWriter::WriteJpegFiles(const std::vector<fs::path>& files,
                                      const TAviProgress& progress) {
    if (files.empty())
        Raise("No bitmaps on the Bitmaps list");
    TJpegFileSource source(files);
    int32_t w = 0, h = 0;
    if (source.FirstSize(KeepJpeg && !IsMp4FileName(FileName), TJpegLimits{}, w, h)) {
        Width = w;
        Height = h;
    }
    return WriteFrames(source, progress);
}

TAviResult TAviWriter::WriteFrames(AviFrameSource& source, const TAviProgress& progress) {
    Skipped = {};
    const size_t count = source.Count();
    if (count == 0)
        Raise("No bitmaps on the Bitmaps list");
    const char* const streamFailed = "Failed to create AVI video stream";
    if (Width < 1 || Height < 1 || FrameTime < 0)
        Raise(streamFailed);
    const uint32_t scale = FrameTime == 0 ? 1 : static_cast<uint32_t>(FrameTime);
    const bool mp4 = IsMp4FileName(FileName);
    // Any picture the decoder takes becomes a frame: its own limits are the only ones.
    const TFrameFormat format{Width, Height, Stretch, KeepJpeg && !mp4, JpegQuality, TJpegLimits{}};
    if (mp4) {
        TTempOutput out(FileName);
        TMp4Encoder encoder(out.Path().string(), Width, Height, scale, Mp4);
        const size_t rowBytes = AviRowBytes(Width);
        uint64_t frames = 0;
        if (PumpFrames(source, format, progress, Skipped, [&](const TPrepared& p) {
                encoder.AddFrame(p.Data.data(), rowBytes);
                ++frames;
            }) == TAviResult::Cancelled)
            return TAviResult::Cancelled;
        if (frames == 0)
            Raise("No bitmaps on the Bitmaps list");
        encoder.Finish();
        out.Commit();
        return TAviResult::Written;
    }
    if (Width > kMaxSide || Height > kMaxSide ||
        (!KeepJpeg && uint64_t{format.FrameBytes()} + kFirstRiffRoom > RiffLimit)) {
        EAviError e("Picture too large for an AVI file: " + std::to_string(Width) + " x " +
                        std::to_string(Height) + " pixels",
                    TAviErrorKind::FrameTooLarge);
        e.Width = Width;
        e.Height = Height;
        throw e;
    }
    if (!KeepJpeg && uint64_t{count} * (format.FrameBytes() + 40) > RiffLimit * SuperIndexEntries)
        Raise("AVI file too large");

    std::unique_ptr<TWavInput> wav;
    if (!FWavFileName.empty())
        wav = std::make_unique<TWavInput>(FWavFileName);

    std::vector<TAviStream> streams(1);
    TAviStream& video = streams[0];
    std::memcpy(video.Type, "vids", 4);
    std::memcpy(video.Handler, KeepJpeg ? "MJPG" : "\0\0\0\0", 4);
    std::memcpy(video.ChunkId, KeepJpeg ? "00dc" : "00db", 4);
    video.Scale = scale;
    video.Rate = 1000;
    video.Right = static_cast<int16_t>(Width);
    video.Bottom = static_cast<int16_t>(Height);
    video.Format = BitmapInfoHeader(Width, Height, KeepJpeg);
    if (wav) {
        TAviStream audio;
        std::memcpy(audio.Type, "auds", 4);
        std::memset(audio.Handler, 0, 4);
        std::memcpy(audio.ChunkId, "01wb", 4);
        audio.Scale = wav->BlockAlign;
        audio.Rate = wav->AvgBytesPerSec;
        audio.SampleSize = wav->BlockAlign;
        audio.Format = wav->Format;
        streams.push_back(audio);
    }
    TAviMain main;
    main.MicroSecPerFrame =
        static_cast<uint32_t>(std::min<uint64_t>(uint64_t{scale} * 1000, UINT32_MAX));
    main.Width = static_cast<uint32_t>(Width);
    main.Height = static_cast<uint32_t>(Height);

    TTempOutput out(FileName);
    std::optional<TAviFile> avi;
    try {
        avi.emplace(out.Fd(), main, std::move(streams), RiffLimit, SuperIndexEntries);
    } catch (const EAviFileError&) {
        Raise(streamFailed);
    }

    // About a second of audio a chunk, written ahead of the frames it plays under.
    std::vector<char> audioBuf;
    uint64_t audioDone = 0;
    auto writeAudioUntil = [&](uint64_t ms) {
        if (!wav)
            return;
        const uint64_t chunk =
            std::max<uint64_t>(wav->BlockAlign, std::min<uint64_t>(wav->AvgBytesPerSec, 1u << 20) /
                                                    wav->BlockAlign * wav->BlockAlign);
        const uint64_t target =
            std::min<uint64_t>(wav->DataSize, ms >= UINT64_MAX / wav->AvgBytesPerSec
                                                  ? wav->DataSize
                                                  : ms * wav->AvgBytesPerSec / 1000);
        while (audioDone < target) {
            const size_t n = static_cast<size_t>(std::min(chunk, wav->DataSize - audioDone));
            audioBuf.resize(n);
            wav->ReadAt(wav->DataPos + audioDone, audioBuf.data(), n);
            try {
                avi->WriteChunk(1, audioBuf.data(), n);
            } catch (const EAviFileError& e) {
                Raise(e.Code ? "Unable to write output file" : e.what());
            }
            audioDone += n;
        }
    };

    uint64_t frames = 0;
    const TAviResult pumped =
        PumpFrames(source, format, progress, Skipped, [&](const TPrepared& p) {
            writeAudioUntil((frames + 1) * scale);
            try {
                avi->WriteChunk(0, p.Data.data(), p.Size);
            } catch (const EAviFileError& e) {
                if (!e.Code)
                    Raise(e.what());
                char code[16];
                std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(e.Code));
                Raise(std::string("Failed to add frame to AVI. Err=") + code);
            }
            ++frames;
        });
    if (pumped == TAviResult::Cancelled)
        return TAviResult::Cancelled;
    if (frames == 0)
        Raise("No bitmaps on the Bitmaps list");
    writeAudioUntil(UINT64_MAX);
    try {
        avi->Finish();
    } catch (const EAviFileError& e) {
        Raise(e.Code ? "Unable to write output file" : e.what());
    }
    out.Commit();
    return TAviResult::Written;
}

bool IsMp4FileName(const std::string& name) {
    return ToLowerAscii(Extension(name)) == ".mp4";
}

void DrawAviFrame(const TBitmap& picture, bool stretch, int32_t width, int32_t height,
                  uint8_t* frame) {
    if (UsablePicture(&picture) && width > 0 && height > 0)
        Draw(picture, stretch, width, height, frame, AviRowBytes(width), true);
}

TJpegCheck CheckJpegMarkers(std::string_view bytes) {
    TJpegCheck result;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    if (size < 4 || b[0] != 0xFF || b[1] != 0xD8)
        return result;
    bool sof = false;
    size_t pos = 2;
    for (;;) {
        if (pos >= size || b[pos] != 0xFF)
            return result;
        while (pos < size && b[pos] == 0xFF)
            ++pos;
        if (pos >= size)
            return result;
        const unsigned m = b[pos++];
        if (m == 0x01)
            continue;
        if (m == 0xD8 || m == 0xD9 || (m >= 0xD0 && m <= 0xD7) || m == 0x00)
            return result;
        if (pos + 2 > size)
            return result;
        const size_t len = size_t{b[pos]} << 8 | b[pos + 1];
        if (len < 2 || pos + len > size)
            return result;
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
            if (sof || len < 8)
                return result;
            const unsigned precision = b[pos + 2];
            result.Height = b[pos + 3] << 8 | b[pos + 4];
            result.Width = b[pos + 5] << 8 | b[pos + 6];
            const unsigned components = b[pos + 7];
            if (result.Width == 0 || result.Height == 0 || components == 0 ||
                len < 8 + 3 * size_t{components})
                return result;
            sof = true;
            result.Passable = (m == 0xC0 || m == 0xC1 || m == 0xC2) && precision == 8 &&
                              (components == 1 || components == 3);
        }
        if (m == 0xDA) {
            if (!sof)
                return result;
            pos += len;
            break;
        }
        pos += len;
    }
    // The end marker, allowing for a little padding some cameras append.
    const size_t from = size > pos + 32 ? size - 32 : pos;
    for (size_t i = size - 1; i > from; --i)
        if (b[i - 1] == 0xFF && b[i] == 0xD9) {
            result.Valid = true;
            return result;
        }
    result.Passable = false;
    return result;
}

} // namespace ocelis
