// The client's Basic and Digest answers against httpbin (python3-httpbin) on loopback.
#include "ServerProcess.h"
#include "net/HttpClient.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <unistd.h>

using ocelis::test::TServerProcess;

namespace {

// The JSON answer's text without blanks, whatever spacing the server's version uses.
std::string Compact(const std::string& body) {
    std::string out;
    for (char c : body)
        if (c != ' ' && c != '\n')
            out += c;
    return out;
}

const char* const kPython = "/usr/bin/python3";
// Serves httpbin on an ephemeral loopback port and prints the port first.
const char* const kScript = R"(
import logging, sys
try:
    import httpbin
    from werkzeug.serving import make_server
except ImportError as e:
    print("missing:", e, flush=True)
    sys.exit(3)
logging.getLogger("werkzeug").setLevel(logging.ERROR)
server = make_server("127.0.0.1", 0, httpbin.app, threaded=True)
print(server.server_port, flush=True)
server.serve_forever()
)";

class THttpbinTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (access(kPython, X_OK) != 0) {
            FSkip = "no /usr/bin/python3; ./setup.sh installs python3-httpbin";
            return;
        }
        FServer =
            std::make_unique<TServerProcess>(std::vector<std::string>{kPython, "-c", kScript});
        const std::optional<std::string> line = FServer->FirstLine(std::chrono::seconds(30));
        if (!line || line->empty() || line->find_first_not_of("0123456789") != std::string::npos) {
            FSkip = "httpbin did not start (" + line.value_or("no output") +
                    "); ./setup.sh installs python3-httpbin";
            FServer.reset();
            return;
        }
        FPort = *line;
    }
    static void TearDownTestSuite() { FServer.reset(); }

    void SetUp() override {
        if (!FSkip.empty())
            GTEST_SKIP() << FSkip;
        Client.ReadTimeout = 10000;
    }

    static std::string Url(const std::string& userInfo, const std::string& path) {
        return "http://" + userInfo + "@127.0.0.1:" + FPort + path;
    }

    THttpClient Client;

private:
    static inline std::unique_ptr<TServerProcess> FServer;
    static inline std::string FSkip;
    static inline std::string FPort;
};

} // namespace

// httpbin closes every connection, so each connection is one request.
// Digest with each algorithm httpbin has, and Basic.
const char* const kAuthPaths[] = {
    "/digest-auth/auth/u/p/MD5",
    "/digest-auth/auth/u/p/SHA-256",
    "/basic-auth/u/p",
};

TEST_F(THttpbinTest, DigestAndBasicCostOneRequestEachAfterTheFirst) {
    for (const char* path : kAuthPaths) {
        SCOPED_TRACE(path);
        THttpClient client;
        client.ReadTimeout = 10000;
        const std::string url = Url("u:p", path);
        std::string body;
        ASSERT_NO_THROW(client.Get(url, body));
        EXPECT_NE(Compact(body).find("\"authenticated\":true"), std::string::npos) << body;
        EXPECT_NE(Compact(body).find("\"user\":\"u\""), std::string::npos) << body;
        EXPECT_EQ(client.ConnectCount(), 2);
        for (int i = 0; i < 2; ++i) {
            body.clear();
            ASSERT_NO_THROW(client.Get(url, body));
            EXPECT_NE(Compact(body).find("\"authenticated\":true"), std::string::npos) << body;
            ASSERT_NO_THROW(client.Head(url));
        }
        EXPECT_EQ(client.ConnectCount(), 6);
    }
}

TEST_F(THttpbinTest, AWrongPasswordIsNotAuthorisedAndNotTriedAgain) {
    for (const char* path : kAuthPaths) {
        SCOPED_TRACE(path);
        THttpClient client;
        client.ReadTimeout = 10000;
        const std::string url = Url("u:wrong", path);
        for (int call = 0; call < 2; ++call) {
            std::string body;
            try {
                client.Get(url, body);
                ADD_FAILURE() << "accepted";
            } catch (const EHttpError& e) {
                EXPECT_EQ(e.Kind, THttpFailure::NotAuthorised) << e.what();
                EXPECT_EQ(e.Code, 401);
            }
            EXPECT_EQ(client.ConnectCount(), 2) << call;
        }
    }
}

// httpbin counts authenticated requests in a cookie and says the nonce is stale when the
// count runs out; the client keeps the cookie and answers the fresh nonce.
TEST_F(THttpbinTest, AStaleNonceIsAnsweredWithTheFreshOne) {
    const std::string url = Url("u:p", "/digest-auth/auth/u/p/MD5/2");
    int previous = 0;
    int stale = 0;
    for (int i = 0; i < 6; ++i) {
        std::string body;
        ASSERT_NO_THROW(Client.Get(url, body)) << i;
        EXPECT_NE(Compact(body).find("\"authenticated\":true"), std::string::npos) << body;
        const int requests = Client.ConnectCount() - previous;
        previous = Client.ConnectCount();
        EXPECT_LE(requests, 2) << i;
        if (i > 0 && requests == 2)
            ++stale;
    }
    EXPECT_GE(stale, 1);
}
