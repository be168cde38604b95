#include "avi/AviFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace ocelis {

namespace {

constexpr size_t kBufferSize = size_t{1} << 20;
constexpr uint32_t kKeyFrame = 0x10;                  // idx1: AVIIF_KEYFRAME
constexpr uint32_t kMainFlags = 0x10 | 0x100;         // has index, interleaved
constexpr uint32_t kIndxHeader = 24, kIndxEntry = 16; // super index
constexpr uint32_t kIxHeader = 24, kIxEntry = 8;      // standard index
constexpr uint32_t kOdmlBytes = 12 + 8 + 248;         // LIST odml + dmlh
constexpr uint32_t kMaxChunk = (uint32_t{1} << 31) - 64;
constexpr uint64_t kWritebackStep = 32u << 20;

void Le32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void Add16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

void Add32(std::string& s, uint32_t v) {
    char b[4];
    Le32(b, v);
    s.append(b, 4);
}

void Add64(std::string& s, uint64_t v) {
    Add32(s, static_cast<uint32_t>(v));
    Add32(s, static_cast<uint32_t>(v >> 32));
}

void AddCc(std::string& s, const char* cc) {
    s.append(cc, 4);
}

uint32_t Clamp32(uint64_t v) {
    return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX));
}

[[noreturn]] void Fail(const char* what) {
    throw EAviFileError(what, errno);
}

// The bytes a write call took; 0 when a signal interrupted it (call again).
size_t Taken(ssize_t w) {
    if (w < 0 && errno == EINTR)
        return 0;
    if (w == 0)
        errno = EIO; // a disk that takes nothing would loop for ever
    if (w <= 0)
        Fail("Cannot write the AVI file");
    return static_cast<size_t>(w);
}

void WriteAll(int fd, iovec* iov, int count) {
    while (count > 0) {
        size_t done = Taken(::writev(fd, iov, count));
        while (count > 0 && done >= iov->iov_len) {
            done -= iov->iov_len;
            ++iov;
            --count;
        }
        if (count > 0) {
            iov->iov_base = static_cast<char*>(iov->iov_base) + done;
            iov->iov_len -= done;
        }
    }
}

void PWriteAll(int fd, const char* data, size_t size, uint64_t pos) {
    while (size > 0) {
        const size_t w = Taken(::pwrite(fd, data, size, static_cast<off_t>(pos)));
        data += w;
        size -= w;
        pos += w;
    }
}

std::string IxId(size_t stream) {
    std::string id = "ix";
    id += static_cast<char>('0' + stream / 10);
    id += static_cast<char>('0' + stream % 10);
    return id;
}

} // namespace

TAviFile::TAviFile(int fd, const TAviMain& main, std::vector<TAviStream> streams,
                   uint64_t riffLimit, uint32_t superIndexEntries)
    : FFd(fd), FMain(main), FRiffLimit(riffLimit), FSuperEntries(superIndexEntries) {
    if (streams.empty() || streams.size() > 99)
        throw EAviFileError("An AVI file has 1 to 99 streams", 0);
    for (auto& s : streams) {
        TStreamState st;
        st.Info = std::move(s);
        FStreams.push_back(std::move(st));
    }
    FBuffer.reserve(kBufferSize);
    WriteHeaders();
}

void TAviFile::WriteHeaders() {
    // Built in one piece with zero totals; Finish fills the fields in place.
    std::string h;
    AddCc(h, "RIFF");
    Add32(h, 0);
    AddCc(h, "AVI ");
    AddCc(h, "LIST");
    const size_t hdrlSize = h.size();
    Add32(h, 0);
    AddCc(h, "hdrl");
    AddCc(h, "avih");
    Add32(h, 56);
    FAvihPos = h.size();
    h.append(56, '\0');
    for (auto& s : FStreams) {
        AddCc(h, "LIST");
        const size_t strlSize = h.size();
        Add32(h, 0);
        AddCc(h, "strl");
        AddCc(h, "strh");
        Add32(h, 56);
        s.StrhPos = h.size();
        h.append(56, '\0');
        AddCc(h, "strf");
        Add32(h, static_cast<uint32_t>(s.Info.Format.size()));
        h += s.Info.Format;
        if (h.size() & 1)
            h += '\0';
        s.IndxPos = h.size();
        AddCc(h, "JUNK");
        Add32(h, kIndxHeader + kIndxEntry * FSuperEntries);
        h.append(kIndxHeader + kIndxEntry * FSuperEntries, '\0');
        Le32(&h[strlSize], static_cast<uint32_t>(h.size() - strlSize - 4));
    }
    FOdmlPos = h.size();
    AddCc(h, "JUNK");
    Add32(h, kOdmlBytes - 8);
    h.append(kOdmlBytes - 8, '\0');
    Le32(&h[hdrlSize], static_cast<uint32_t>(h.size() - hdrlSize - 4));
    FRiffPos = 0;
    FRiffs.push_back(0);
    FMoviPos = h.size();
    AddCc(h, "LIST");
    Add32(h, 0);
    AddCc(h, "movi");
    Put(h.data(), h.size());
}

void TAviFile::Put(const void* data, size_t size) {
    if (FBuffer.size() + size > kBufferSize)
        Flush();
    if (size >= kBufferSize) {
        iovec v{const_cast<void*>(data), size};
        WriteAll(FFd, &v, 1);
    } else {
        FBuffer.append(static_cast<const char*>(data), size);
    }
    FPos += size;
}

void TAviFile::PutU32(uint32_t v) {
    char b[4];
    Le32(b, v);
    Put(b, 4);
}

void TAviFile::PutFourCc(const char* cc) {
    Put(cc, 4);
}

void TAviFile::Flush() {
    if (FBuffer.empty())
        return;
    iovec v{FBuffer.data(), FBuffer.size()};
    WriteAll(FFd, &v, 1);
    FBuffer.clear();
}

void TAviFile::PatchU32(uint64_t pos, uint32_t v) {
    char b[4];
    Le32(b, v);
    Flush();
    PWriteAll(FFd, b, 4, pos);
}

void TAviFile::PatchBytes(uint64_t pos, const std::string& bytes) {
    Flush();
    PWriteAll(FFd, bytes.data(), bytes.size(), pos);
}

uint64_t TAviFile::RiffOverhead(size_t extraEntries) const {
    uint64_t entries = extraEntries, bytes = 0;
    for (const auto& s : FStreams) {
        entries += s.Riff.size();
        bytes += 8 + kIxHeader;
    }
    bytes += kIxEntry * entries;
    if (FRiffs.size() == 1)
        bytes += 8 + 16 * entries; // idx1
    return bytes;
}

void TAviFile::WriteChunk(size_t stream, const void* data, size_t size) {
    WriteChunk(stream, data, size, nullptr, 0);
}

void TAviFile::WriteChunk(size_t stream, const void* a, size_t aSize, const void* b, size_t bSize) {
    const uint64_t size = uint64_t{aSize} + bSize;
    if (size > kMaxChunk || FFinished || stream >= FStreams.size())
        throw EAviFileError("AVI chunk too large", 0);
    const uint64_t need = 8 + size + (size & 1);
    bool riffHasChunks = false;
    for (const auto& s : FStreams)
        riffHasChunks = riffHasChunks || !s.Riff.empty();
    if (riffHasChunks && FPos - FRiffPos + need + RiffOverhead(1) > FRiffLimit) {
        CloseRiff(false);
        OpenRiff();
    }
    if (FPos - FRiffPos + need + RiffOverhead(1) > FRiffLimit)
        throw EAviFileError("AVI chunk too large", 0);

    auto& st = FStreams[stream];
    st.Riff.push_back({FPos, static_cast<uint32_t>(size)});
    ++st.Total;
    st.TotalBytes += size;
    st.MaxChunk = std::max(st.MaxChunk, static_cast<uint32_t>(size));

    char head[8];
    std::memcpy(head, st.Info.ChunkId, 4);
    Le32(head + 4, static_cast<uint32_t>(size));
    static const char kPad = 0;
    if (size < kBufferSize) {
        Put(head, 8);
        Put(a, aSize);
        if (bSize)
            Put(b, bSize);
        if (size & 1)
            Put(&kPad, 1);
        StartWriteback();
        return;
    }
    // Big frames go out in one call, without a copy through the buffer.
    Flush();
    iovec v[4] = {{head, 8},
                  {const_cast<void*>(a), aSize},
                  {const_cast<void*>(b), bSize},
                  {const_cast<char*>(&kPad), static_cast<size_t>(size & 1)}};
    WriteAll(FFd, v, 4);
    FPos += need;
    StartWriteback();
}

void TAviFile::StartWriteback() {
    // The disk gets the data while we go on, instead of all of it in the final flush.
    if (FPos - FWrittenBack < kWritebackStep)
        return;
    const uint64_t end = FPos - FBuffer.size();
    ::sync_file_range(FFd, static_cast<off_t>(FWrittenBack), static_cast<off_t>(end - FWrittenBack),
                      SYNC_FILE_RANGE_WRITE);
    FWrittenBack = end;
}

void TAviFile::OpenRiff() {
    if (FRiffs.size() >= FSuperEntries)
        throw EAviFileError("AVI file too large", 0);
    FRiffPos = FPos;
    FRiffs.push_back(FPos);
    PutFourCc("RIFF");
    PutU32(0);
    PutFourCc("AVIX");
    FMoviPos = FPos;
    PutFourCc("LIST");
    PutU32(0);
    PutFourCc("movi");
}

void TAviFile::CloseRiff(bool last) {
    const bool first = FRiffs.size() == 1;
    if (!last || !first) {
        for (size_t i = 0; i < FStreams.size(); ++i) {
            auto& st = FStreams[i];
            if (st.Riff.empty())
                continue;
            const uint32_t n = static_cast<uint32_t>(st.Riff.size());
            std::string ix;
            AddCc(ix, IxId(i).c_str());
            Add32(ix, kIxHeader + kIxEntry * n);
            Add16(ix, 2);
            ix += '\0'; // sub type
            ix += '\1'; // index of chunks
            Add32(ix, n);
            AddCc(ix, st.Info.ChunkId);
            Add64(ix, FRiffPos);
            Add32(ix, 0);
            uint64_t bytes = 0;
            for (const auto& e : st.Riff) {
                Add32(ix, static_cast<uint32_t>(e.Pos + 8 - FRiffPos));
                Add32(ix, e.Size); // bit 31 clear: a key frame
                bytes += e.Size;
            }
            const uint32_t duration = st.Info.SampleSize ? Clamp32(bytes / st.Info.SampleSize) : n;
            st.Super.push_back({FPos, static_cast<uint32_t>(ix.size()), duration});
            Put(ix.data(), ix.size());
        }
    }
    PatchU32(FMoviPos + 4, static_cast<uint32_t>(FPos - FMoviPos - 8));
    if (first) {
        std::vector<std::pair<TEntry, size_t>> all;
        for (size_t i = 0; i < FStreams.size(); ++i)
            for (const auto& e : FStreams[i].Riff)
                all.push_back({e, i});
        std::sort(all.begin(), all.end(),
                  [](const auto& x, const auto& y) { return x.first.Pos < y.first.Pos; });
        std::string idx;
        AddCc(idx, "idx1");
        Add32(idx, static_cast<uint32_t>(16 * all.size()));
        for (const auto& [e, i] : all) {
            AddCc(idx, FStreams[i].Info.ChunkId);
            Add32(idx, kKeyFrame);
            Add32(idx, static_cast<uint32_t>(e.Pos - FMoviPos - 8));
            Add32(idx, e.Size);
        }
        Put(idx.data(), idx.size());
        FFirstRiffFrames = FStreams[0].Riff.size();
    }
    PatchU32(FRiffPos + 4, static_cast<uint32_t>(FPos - FRiffPos - 8));
    for (auto& st : FStreams)
        st.Riff.clear();
}

void TAviFile::Finish() {
    if (FFinished)
        return;
    CloseRiff(true);
    FFinished = true;
    WriteTotals();
    Flush();
}

void TAviFile::WriteTotals() {
    const auto& video = FStreams[0];
    uint64_t maxChunk = 0, bytesPerSec = 0;
    for (const auto& s : FStreams) {
        maxChunk = std::max<uint64_t>(maxChunk, s.MaxChunk);
        if (s.Info.SampleSize == 0 && s.Info.Scale)
            bytesPerSec += uint64_t{s.MaxChunk} * s.Info.Rate / s.Info.Scale;
        else if (s.Info.Scale)
            bytesPerSec += uint64_t{s.Info.SampleSize} * s.Info.Rate / s.Info.Scale;
    }
    std::string avih;
    Add32(avih, FMain.MicroSecPerFrame);
    Add32(avih, Clamp32(bytesPerSec));
    Add32(avih, 0); // padding granularity
    Add32(avih, kMainFlags);
    Add32(avih, Clamp32(FFirstRiffFrames)); // the first RIFF's; dmlh has them all
    Add32(avih, 0);
    Add32(avih, static_cast<uint32_t>(FStreams.size()));
    Add32(avih, Clamp32(maxChunk + 8));
    Add32(avih, FMain.Width);
    Add32(avih, FMain.Height);
    avih.append(16, '\0');
    PatchBytes(FAvihPos, avih);

    for (const auto& s : FStreams) {
        std::string strh;
        AddCc(strh, s.Info.Type);
        strh.append(s.Info.Handler, 4);
        Add32(strh, 0); // flags
        Add32(strh, 0); // priority, language
        Add32(strh, 0); // initial frames
        Add32(strh, s.Info.Scale);
        Add32(strh, s.Info.Rate);
        Add32(strh, 0); // start
        Add32(strh, Clamp32(s.Info.SampleSize ? s.TotalBytes / s.Info.SampleSize : s.Total));
        Add32(strh, s.Info.SampleSize ? s.MaxChunk : 0);
        Add32(strh, 0); // quality
        Add32(strh, s.Info.SampleSize);
        Add16(strh, 0);
        Add16(strh, 0);
        Add16(strh, static_cast<uint16_t>(s.Info.Right));
        Add16(strh, static_cast<uint16_t>(s.Info.Bottom));
        PatchBytes(s.StrhPos, strh);
    }
    if (FRiffs.size() == 1)
        return;

    for (const auto& s : FStreams) {
        std::string indx;
        AddCc(indx, "indx");
        Add32(indx, kIndxHeader + kIndxEntry * FSuperEntries);
        Add16(indx, 4);
        indx += '\0';
        indx += '\0'; // index of indexes
        Add32(indx, static_cast<uint32_t>(s.Super.size()));
        AddCc(indx, s.Info.ChunkId);
        indx.append(12, '\0');
        for (const auto& e : s.Super) {
            Add64(indx, e.Pos);
            Add32(indx, e.Size);
            Add32(indx, e.Duration);
        }
        PatchBytes(s.IndxPos, indx);
    }
    std::string odml;
    AddCc(odml, "LIST");
    Add32(odml, kOdmlBytes - 8);
    AddCc(odml, "odml");
    AddCc(odml, "dmlh");
    Add32(odml, 248);
    Add32(odml, Clamp32(video.Total));
    PatchBytes(FOdmlPos, odml);
}

} // namespace ocelis
