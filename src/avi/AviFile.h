// The RIFF container of an AVI file, written front to back into an open file descriptor.
// Stays plain AVI 1.0 (one RIFF with idx1) while the file fits the first RIFF; past that it
// becomes OpenDML: RIFF AVIX chunks follow, each stream gets an indx super index pointing at
// one ix## standard index per RIFF, and LIST odml/dmlh carries the total frame count. The
// space for indx and dmlh is reserved as JUNK up front, so readers of 1.0 files skip it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ocelis {

// A write, seek or size bound failed. Code is the errno value (0 for a bound).
class EAviFileError : public std::runtime_error {
public:
    EAviFileError(const std::string& what, int code) : std::runtime_error(what), Code(code) {}
    int Code;
};

struct TAviStream {
    char Type[4];       // "vids" or "auds"
    char Handler[4];    // all zero for none
    char ChunkId[4];    // "00db", "00dc", "01wb"
    uint32_t Scale = 1; // Rate / Scale units of the stream per second
    uint32_t Rate = 1;
    uint32_t SampleSize = 0; // 0: one chunk is one unit (video); else bytes of one unit
    int16_t Right = 0;       // frame rectangle (left and top are 0)
    int16_t Bottom = 0;
    std::string Format; // the strf chunk's data
};

struct TAviMain {
    uint32_t MicroSecPerFrame = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;
};

class TAviFile {
public:
    static constexpr uint64_t kRiffLimit = uint64_t{1} << 30;
    static constexpr uint32_t kSuperIndexEntries = 256;

    // Writes the headers (with zero totals) at the descriptor's start. The limits exist so
    // that tests can reach OpenDML with small files.
    TAviFile(int fd, const TAviMain& main, std::vector<TAviStream> streams,
             uint64_t riffLimit = kRiffLimit, uint32_t superIndexEntries = kSuperIndexEntries);

    // Appends one chunk of the stream, always indexed as a key frame.
    void WriteChunk(size_t stream, const void* data, size_t size);
    // Several pieces making one chunk (a frame header and its pixels, say).
    void WriteChunk(size_t stream, const void* a, size_t aSize, const void* b, size_t bSize);

    // Closes the last RIFF, writes the indexes and the totals. The descriptor stays open.
    void Finish();

    // A file needing more bytes than this is refused (the super indexes are full).
    uint64_t MaxBytes() const { return FRiffLimit * FSuperEntries; }
    bool IsOpenDml() const { return FRiffs.size() > 1; }
    uint64_t ChunkCount(size_t stream) const { return FStreams[stream].Total; }

private:
    struct TEntry {
        uint64_t Pos;  // of the chunk header
        uint32_t Size; // of the data
    };
    struct TSuperEntry {
        uint64_t Pos;
        uint32_t Size;
        uint32_t Duration;
    };
    struct TStreamState {
        TAviStream Info;
        uint64_t StrhPos = 0;
        uint64_t IndxPos = 0;
        uint64_t Total = 0;      // chunks
        uint64_t TotalBytes = 0; // data bytes
        uint32_t MaxChunk = 0;
        std::vector<TEntry> Riff; // chunks of the open RIFF
        std::vector<TSuperEntry> Super;
    };
    void Put(const void* data, size_t size);
    void PutU32(uint32_t v);
    void PutFourCc(const char* cc);
    void Flush();
    void PatchU32(uint64_t pos, uint32_t v);
    void PatchBytes(uint64_t pos, const std::string& bytes);
    void OpenRiff();
    void CloseRiff(bool last);
    uint64_t RiffOverhead(size_t extraEntries) const;
    void WriteHeaders();
    void WriteTotals();
    void StartWriteback();

    int FFd;
    TAviMain FMain;
    std::vector<TStreamState> FStreams;
    uint64_t FRiffLimit;
    uint32_t FSuperEntries;
    std::string FBuffer;
    uint64_t FPos = 0; // logical end of the file, including the buffer
    uint64_t FRiffPos = 0;
    uint64_t FMoviPos = 0;
    uint64_t FAvihPos = 0;
    uint64_t FOdmlPos = 0;
    uint64_t FFirstRiffFrames = 0;
    std::vector<uint64_t> FRiffs; // start of each RIFF
    uint64_t FWrittenBack = 0;
    bool FFinished = false;
};

} // namespace ocelis
