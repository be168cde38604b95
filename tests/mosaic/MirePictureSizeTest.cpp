// The thumbnail thread hands over, with a picture decoded at a reduced scale, the size the
// picture itself has, so that a window need not read the JPEG header again.
#include "mosaic/MireThread.h"

#include "imaging/Jpeg.h"
#include "net/FetchThreadRegistry.h"
#include "support/FakeGuiLoop.h"
#include "support/HttpTestServer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::MakeResponse;
using ocelis::test::Reply;

namespace {

std::string Grey(int w, int h) {
    ocelis::TBitmap b;
    b.Resize(w, h);
    std::fill(b.Pixels.begin(), b.Pixels.end(), uint8_t{120});
    return ocelis::EncodeJpeg(b);
}

} // namespace

TEST(MirePictureSize, EachIterationCarriesThePicturesOwnSizeOrNone) {
    const std::string vga = Grey(640, 480), cif = Grey(352, 288);
    ocelis::test::HttpTestServer server([&](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return Reply("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n");
        const std::string body = r.Target == "/vga.jpg"   ? vga
                                 : r.Target == "/cif.jpg" ? cif
                                                          : "<html>";
        HttpAnswer a;
        a.Send(MakeResponse(200, "OK", {}, body)).Close();
        return a;
    });
    struct TStep {
        const char* Path;
        int32_t BoxW, BoxH;
        int32_t PictureW, FullW, FullH;
    };
    // After a picture, a step without one must not keep its size.
    const std::vector<TStep> steps = {
        {"/vga.jpg", 120, 90, 160, 640, 480},  {"/page.html", 120, 90, 0, 0, 0},
        {"/cif.jpg", 120, 90, 176, 352, 288},  {"/vga.jpg", 0, 0, 0, 0, 0},
        {"/vga.jpg", 640, 480, 640, 640, 480},
    };
    struct TSeen {
        int32_t PictureW, FullW, FullH;
    };
    std::vector<TSeen> seen;
    auto loop = std::make_shared<ocelis::FakeGuiLoop>();
    auto* t = new TMireThread(loop);
    t->Timing.GetReadTimeout = t->Timing.HeadReadTimeout = 1000;
    const auto next = [&](TMireThread& s) {
        if (++s.Index >= static_cast<int32_t>(steps.size())) {
            s.Terminate();
            return;
        }
        const TStep& step = steps[static_cast<size_t>(s.Index)];
        s.Url = server.Url(step.Path);
        s.ContentLength = 0; // every step downloads
        s.Content = {};      // and is a webcam of its own
        s.PictureWidth = step.BoxW;
        s.PictureHeight = step.BoxH;
    };
    t->OnImage = [&](TMireThread& s) {
        seen.push_back({s.Picture.Width, s.FullWidth, s.FullHeight});
    };
    t->OnNext = next;
    next(*t);
    TMireThreadRef ref(t);
    t->Resume();
    ASSERT_TRUE(
        loop->RunUntil([] { return ocelis::TFetchThreadRegistry::Instance().Count() == 0; }, 10s));
    ASSERT_EQ(seen.size(), steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].Path + std::string(" step ") + std::to_string(i));
        EXPECT_EQ(seen[i].PictureW, steps[i].PictureW);
        EXPECT_EQ(seen[i].FullW, steps[i].FullW);
        EXPECT_EQ(seen[i].FullH, steps[i].FullH);
    }
}
