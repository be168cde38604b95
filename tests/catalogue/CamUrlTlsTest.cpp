#include "catalogue/CamUrlTest.h"
#include "support/TestJpeg.h"
#include "support/TlsTestServer.h"

#include <gtest/gtest.h>

using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::HttpTestServer;
using ocelis::test::MakeResponse;
using ocelis::test::TlsTestServer;
using ocelis::test::TrustedTestCertificates;

// The address test over https: a good certificate shows the picture, a refused one says why.
TEST(CamUrlTls, GoodCertificateShowsThePictureARefusedOneItsReason) {
    const auto& certs = TrustedTestCertificates();
    const std::string jpeg = ocelis::test::SolidJpeg(40, 30, 128);
    HttpTestServer inner([&](const HttpRequestSeen& r) {
        return HttpAnswer().Send(MakeResponse(200, "OK", {}, r.Method == "HEAD" ? "" : jpeg));
    });
    THttpThread::TTiming timing;
    timing.HeadReadTimeout = timing.GetReadTimeout = 2000;

    TlsTestServer good(inner, certs.Good);
    TCamUrlTestResult r = TCamUrlTest(timing).Run(good.Url("/cam.jpg", "localhost"), "");
    EXPECT_EQ(r.Kind, TCamUrlTestKind::Jpeg) << r.Detail;
    EXPECT_EQ(r.Width, 40);

    TlsTestServer selfSigned(inner, certs.SelfSigned);
    r = TCamUrlTest(timing).Run(selfSigned.Url("/cam.jpg"), "");
    EXPECT_EQ(r.Kind, TCamUrlTestKind::Failed);
    EXPECT_NE(r.Detail.find("self-signed certificate"), std::string::npos) << r.Detail;
    EXPECT_EQ(inner.RequestCount(), 2);
}
