// The viewer against a camera behind Digest authentication, served by lighttpd on loopback.
#include "viewer/ViewerWindow.h"

#include "catalogue/CamCategory.h"
#include "net/HttpThread.h"
#include "net/ServerProcess.h"
#include "settings/CamViewer.h"
#include "support/GuiFixture.h"
#include "support/LoopbackPort.h"
#include "support/TestFiles.h"
#include "support/TestJpeg.h"
#include "support/WaitUntil.h"
#include "viewer/OcImage.h"

#include <QPointer>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ocelis;
using namespace ocelis::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const char* const kLighttpd = "/usr/sbin/lighttpd";

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class ViewerAuthTest : public TGuiFixture {
protected:
    void SetUp() override {
        if (access(kLighttpd, X_OK) != 0)
            GTEST_SKIP() << "no " << kLighttpd << "; ./setup.sh installs lighttpd";
        TGuiFixture::SetUp();
        Settings = std::make_unique<TCamViewer>();
        Settings->Status = true;
        Settings->SaveImages = false;
        Settings->Beep = false;
        CamViewer = Settings.get();

        Dir = FreshTestDir("viewer_auth");
        fs::create_directories(Dir / "www");
        WriteFileBytes(Dir / "www" / "cam.jpg", GradientJpeg(320, 240));
        WriteFileBytes(Dir / "users", "u:p\n");
        Port = FreeLoopbackPort();
        const std::string conf =
            "server.document-root = \"" + (Dir / "www").string() + "\"\n" +
            "server.bind = \"127.0.0.1\"\n" + "server.port = " + std::to_string(Port) + "\n" +
            "server.errorlog = \"" + (Dir / "error.log").string() + "\"\n" +
            "server.modules = (\"mod_auth\", \"mod_authn_file\", \"mod_accesslog\")\n" +
            "accesslog.filename = \"" + (Dir / "access.log").string() + "\"\n" +
            "mimetype.assign = (\".jpg\" => \"image/jpeg\")\n" + "auth.backend = \"plain\"\n" +
            "auth.backend.plain.userfile = \"" + (Dir / "users").string() + "\"\n" +
            "auth.require = ( \"/\" => ( \"method\" => \"digest\", \"realm\" => \"cam\", "
            "\"require\" => \"valid-user\", \"algorithm\" => \"SHA-256|MD5\" ) )\n";
        WriteFileBytes(Dir / "lighttpd.conf", conf);
        Server = std::make_unique<TServerProcess>(
            std::vector<std::string>{kLighttpd, "-D", "-f", (Dir / "lighttpd.conf").string()});
        ASSERT_TRUE(WaitUntil([&] { return LoopbackAccepts(Port); }, 10s))
            << "lighttpd did not listen: " << ReadFileBytes(Dir / "error.log");
    }

    void TearDown() override {
        if (!Server)
            return;
        for (QPointer<TfoViewer>& v : Viewers)
            delete v.data();
        Viewers.clear();
        TGuiFixture::TearDown();
        Server.reset();
    }

    TfoViewer* Open(const std::string& userInfo) {
        TCamWebcam cam;
        cam.Name = "Locked";
        cam.Url = "http://" + userInfo + "127.0.0.1:" + std::to_string(Port) + "/cam.jpg";
        cam.Refresh = 1;
        auto* v = new TfoViewer();
        v->ThreadSetup = [](THttpThread& t) {
            t.Timing.Tick = 20ms;
            t.Timing.UnchangedPause = 20ms;
        };
        v->SetWebcam(cam);
        v->show();
        Viewers.emplace_back(v);
        return v;
    }

    std::string AccessLog() const {
        return fs::exists(Dir / "access.log") ? ReadFileBytes(Dir / "access.log") : std::string();
    }

    std::unique_ptr<TCamViewer> Settings;
    fs::path Dir;
    int Port = 0;
    std::unique_ptr<TServerProcess> Server;
    std::vector<QPointer<TfoViewer>> Viewers;
};

} // namespace

TEST_F(ViewerAuthTest, TheUserInfoOfTheAddressShowsThePicture) {
    TfoViewer* v = Open("u:p@");
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 15000)) << AccessLog();
    EXPECT_EQ(v->findChild<TOcImage*>("CamImage")->PictureWidth(), 320);
}

TEST_F(ViewerAuthTest, WithoutUserInfoNothingIsShown) {
    TfoViewer* v = Open("");
    // lighttpd writes its access log in batches: wait for the lines, not the requests.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return CountOf(AccessLog(), "HTTP/1.1\" 401 ") >= 2; }, 15000))
        << AccessLog();
    EXPECT_EQ(v->ImageCount(), 0);
    EXPECT_EQ(CountOf(AccessLog(), "HTTP/1.1\" 200 "), 0);
}
