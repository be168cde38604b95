#include "net/Multipart.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

using ocelis::StreamBoundary;
using ocelis::TMultipartPart;
using ocelis::TMultipartReader;

TEST(StreamBoundaryTest, ReadsTheBoundaryParameter) {
    struct TCase {
        const char* ContentType;
        std::optional<std::string> Boundary;
    };
    const TCase cases[] = {
        {"multipart/x-mixed-replace;boundary=ffmpeg", "ffmpeg"},
        {"Multipart/X-Mixed-Replace; Boundary=\"--frame\"", "--frame"},
        {"multipart/x-mixed-replace; charset=x; boundary=b1 ", "b1"},
        {"multipart/x-mixed-replace", ""},
        {"multipart/x-mixed-replace; boundary=\"\"", ""},
        {"image/jpeg", std::nullopt},
        {"multipart/form-data; boundary=x", std::nullopt},
        {"", std::nullopt},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(StreamBoundary(c.ContentType), c.Boundary) << c.ContentType;
}

struct TFeedCase {
    const char* Name;
    std::string Boundary;
    std::string Body;
    std::vector<std::string> Parts; // the bytes of each complete part, in order
    int64_t Skipped = 0;
};

std::vector<std::string> ReadAll(const TFeedCase& c, std::size_t piece, int64_t cap,
                                 int64_t& skipped) {
    TMultipartReader reader(c.Boundary, cap);
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < c.Body.size(); i += piece)
        reader.Feed(std::string_view(c.Body).substr(i, piece), [&](TMultipartPart& p) {
            if (p.ContentLength >= 0) {
                EXPECT_EQ(static_cast<int64_t>(p.Bytes.size()), p.ContentLength);
            }
            parts.push_back(p.Bytes);
            return true;
        });
    skipped = reader.PartsSkipped();
    return parts;
}

std::string Big(std::size_t n) {
    std::string s(n, 'x');
    for (std::size_t i = 0; i < n; i += 7)
        s[i] = static_cast<char>(i);
    // No line may start with "-" or the boundary inside the big part.
    for (std::size_t i = 1; i < n; ++i)
        if (s[i - 1] == '\n')
            s[i] = 'x';
    return s;
}

TEST(MultipartReaderTest, FindsEveryPartWhateverTheSplitting) {
    const std::string big = Big(200);
    const TFeedCase cases[] = {
        {"counted parts",
         "b",
         "--b\r\nContent-Type: image/jpeg\r\nContent-Length: 3\r\n\r\nabc\r\n"
         "--b\r\nContent-Length: 2\r\n\r\nde\r\n",
         {"abc", "de"}},
        {"no leading dashes in the body",
         "b",
         "b\r\nContent-Length: 3\r\n\r\nabc\r\nb\r\nContent-Length: 1\r\n\r\nz\r\n",
         {"abc", "z"}},
        {"dashes in the header's boundary",
         "--b",
         "--b\r\nContent-Length: 3\r\n\r\nabc\r\n----b\r\nContent-Length: 1\r\n\r\nz\r\n",
         {"abc", "z"}},
        {"parts without a length end at the next boundary",
         "frame",
         "--frame\r\nContent-Type: image/jpeg\r\n\r\nab\r\ncd\r\n--frame\r\n\r\nxyz\n--frame\n",
         {"ab\r\ncd", "xyz"}},
        {"bare boundary ends a part without a length",
         "frame",
         "frame\r\n\r\nabc\r\nframe\r\n\r\nd\r\nframe--\r\n",
         {"abc", "d"}},
        {"noise before, between and after parts",
         "b",
         "junk\r\n\r\n--x\r\n--b\r\nContent-Length: 1\r\n\r\nA\r\nmore junk\r\n\r\n"
         "--b\r\nX-Other: 1\r\nContent-Length: 1\r\n\r\nB\r\ntrailing",
         {"A", "B"}},
        {"boundary-like text inside a part without a length",
         "b",
         "--b\r\n\r\nx--b y\r\n--bb\r\n--b\r\n",
         {"x--b y\r\n--bb"}},
        {"a counted part may hold the boundary",
         "b",
         "--b\r\nContent-Length: 7\r\n\r\n\r\n--b\r\n\r\n--b\r\n",
         {"\r\n--b\r\n"}},
        {"a part over the cap is skipped, not the stream",
         "b",
         "--b\r\nContent-Length: 200\r\n\r\n" + big + "\r\n--b\r\nContent-Length: 2\r\n\r\nok\r\n",
         {"ok"},
         1},
        {"a part over the cap without a length is skipped",
         "b",
         "--b\r\n\r\n" + big + "\r\n--b\r\n\r\nok\r\n--b\r\n",
         {"ok"},
         1},
        {"a boundary learnt from the body",
         "",
         "\r\n--cam\r\nContent-Length: 2\r\n\r\nhi\r\n--cam\r\n\r\nyo\r\n--cam\r\n",
         {"hi", "yo"}},
        {"a length that is no number: the part ends at the boundary",
         "b",
         "--b\r\nContent-Length: 12x\r\n\r\nab\r\n--b\r\n",
         {"ab"}},
        {"a part cut off is never delivered", "b", "--b\r\nContent-Length: 9\r\n\r\nabc", {}},
        {"an endless header block is noise",
         "b",
         "--b\r\n" + std::string(20000, 'h') + "\r\n--b\r\nContent-Length: 1\r\n\r\nq\r\n",
         {"q"}},
    };
    for (const TFeedCase& c : cases) {
        for (std::size_t piece : {c.Body.size() + 1, std::size_t{1}, std::size_t{5}}) {
            int64_t skipped = 0;
            EXPECT_EQ(ReadAll(c, piece, 100, skipped), c.Parts)
                << c.Name << ", pieces of " << piece;
            EXPECT_EQ(skipped, c.Skipped) << c.Name << ", pieces of " << piece;
        }
    }
}

TEST(MultipartReaderTest, StopsWhenTheHandlerSaysSo) {
    TMultipartReader reader("b", 100);
    int seen = 0;
    const auto stopAtOnce = [&](TMultipartPart&) {
        ++seen;
        return false;
    };
    EXPECT_FALSE(reader.Feed(
        "--b\r\nContent-Length: 1\r\n\r\na\r\n--b\r\nContent-Length: 1\r\n\r\nb\r\n", stopAtOnce));
    EXPECT_FALSE(reader.Feed("--b\r\nContent-Length: 1\r\n\r\nc\r\n", stopAtOnce));
    EXPECT_EQ(seen, 1);
}

TEST(MultipartReaderTest, HoldsNoMoreThanOnePartWhileNoiseStreams) {
    TMultipartReader reader("b", 1000);
    const std::string noise(1 << 16, 'n');
    const auto none = [](TMultipartPart&) {
        ADD_FAILURE() << "no part in noise";
        return true;
    };
    for (int i = 0; i < 64; ++i)
        reader.Feed(noise, none);
    EXPECT_LE(reader.Held(), noise.size() + 8192);
    // A part without a length over the cap streams through, keeping only a tail.
    reader.Feed("\r\n--b\r\n\r\n", none);
    for (int i = 0; i < 64; ++i)
        reader.Feed(noise, none);
    EXPECT_LE(reader.Held(), noise.size() + 8192);
    EXPECT_EQ(reader.PartsSkipped(), 0);
    reader.Feed("\r\n--b\r\n", none);
    EXPECT_EQ(reader.PartsSkipped(), 1);
}

} // namespace
