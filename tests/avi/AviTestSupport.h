// Reading AVI files back in tests: our own RIFF walk, and independent readers when installed.
#pragma once

#include "imaging/Bitmap.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace ocelis::test {

struct TRiffChunk {
    std::string Path;  // "RIFF:AVI /LIST:hdrl/avih"
    size_t Offset = 0; // of the data
    std::string_view Data;
};

inline uint32_t Le32At(std::string_view s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(s[at + static_cast<size_t>(i)]);
    return v;
}

inline uint16_t Le16At(std::string_view s, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                                 static_cast<unsigned char>(s[at + 1]) << 8);
}

// Every chunk in file order; RIFF and LIST contents are walked too.
inline void WalkRiff(std::string_view file, size_t from, size_t to, const std::string& path,
                     std::vector<TRiffChunk>& out) {
    size_t pos = from;
    while (pos + 8 <= to) {
        const std::string id(file.substr(pos, 4));
        const uint32_t size = Le32At(file, pos + 4);
        const size_t end = std::min(to, pos + 8 + size);
        if (id == "RIFF" || id == "LIST") {
            const std::string sub = path + id + ":" + std::string(file.substr(pos + 8, 4)) + "/";
            out.push_back({sub, pos + 8, file.substr(pos + 8, end - pos - 8)});
            WalkRiff(file, pos + 12, end, sub, out);
        } else {
            out.push_back({path + id, pos + 8, file.substr(pos + 8, end - pos - 8)});
        }
        pos = pos + 8 + size + (size & 1);
    }
}

inline std::vector<TRiffChunk> Chunks(std::string_view file) {
    std::vector<TRiffChunk> out;
    WalkRiff(file, 0, file.size(), "", out);
    return out;
}
// The chunks are views into the file's bytes, which must outlive them.
std::vector<TRiffChunk> Chunks(std::string&&) = delete;

inline std::vector<TRiffChunk> Find(const std::vector<TRiffChunk>& all, std::string_view suffix) {
    std::vector<TRiffChunk> out;
    for (const auto& c : all)
        if (c.Path.size() >= suffix.size() &&
            c.Path.compare(c.Path.size() - suffix.size(), suffix.size(), suffix) == 0)
            out.push_back(c);
    return out;
}

// Output (stdout and stderr) of a shell command.
inline std::string RunTool(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
        std::array<char, 4096> buf;
        size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
            out.append(buf.data(), n);
        ::pclose(p);
    }
    return out;
}

inline bool HaveTool(const std::string& name) {
    return RunTool("command -v " + name + " >/dev/null && echo yes") == "yes\n";
}

// "rate,frames" of the first video stream, counted by decoding the whole file.
inline std::string ProbeFramesAndRate(const std::string& file) {
    return RunTool("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                   "stream=nb_read_frames,r_frame_rate -of csv=p=0 '" +
                   file + "'");
}

// A picture with structure in both directions and every channel.
inline TBitmap Pattern(int w, int h, int seed = 0) {
    TBitmap b;
    b.Resize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.Row(y) + x * 3;
            p[0] = static_cast<uint8_t>(x * 7 + seed);
            p[1] = static_cast<uint8_t>(y * 5 + seed * 3);
            p[2] = static_cast<uint8_t>((x + y) * 3);
        }
    return b;
}

} // namespace ocelis::test
