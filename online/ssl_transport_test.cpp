// The TLS transport against a TLS server on loopback, with a certificate made for the test.
#include "online/ssl_transport.h"

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "online/net_startup.h"
#include "online/transport_test_support.h"
#include "tests/support/loopback_listener.h"

namespace {

// A self-signed certificate for "localhost" and its key.
struct TestCertificate {
    TestCertificate() {
        key = EVP_EC_gen("P-256");
        cert = X509_new();
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -60);
        X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
        for (auto [nid, value] : {std::pair{NID_subject_alt_name, "DNS:localhost"},
                                  std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
            X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
            X509_add_ext(cert, ext, -1);
            X509_EXTENSION_free(ext);
        }
        X509_sign(cert, key, EVP_sha256());
        BIO* out = BIO_new(BIO_s_mem());
        PEM_write_bio_X509(out, cert);
        char* data = nullptr;
        long n = BIO_get_mem_data(out, &data);
        pem.assign(data, static_cast<size_t>(n));
        BIO_free(out);
    }
    ~TestCertificate() {
        X509_free(cert);
        EVP_PKEY_free(key);
    }
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    std::string pem;
};

// Accepts one connection, runs the TLS handshake and hands the session to `body`.
class TlsServer {
public:
    using Body = std::function<void(SSL* session, int fd)>;

    TlsServer(const TestCertificate& certificate, Body body) {
        context_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(context_, certificate.cert);
        SSL_CTX_use_PrivateKey(context_, certificate.key);
        thread_ = std::thread([this, body] {
            // Writes to a client that has gone must not end the test program.
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
            int fd = listener_.Accept();
            if (fd < 0) return;
            SSL* session = SSL_new(context_);
            SSL_set_fd(session, fd);
            handshakeOk_ = SSL_accept(session) == 1;
            if (handshakeOk_) body(session, fd);
            SSL_free(session);
            ::close(fd);
            ERR_clear_error();
        });
    }
    ~TlsServer() {
        Join();
        SSL_CTX_free(context_);
    }
    uint16_t port() const { return listener_.port(); }
    // Waits for the session to end; true when the handshake succeeded.
    bool Join() {
        if (thread_.joinable()) thread_.join();
        return handshakeOk_;
    }

private:
    testsupport::LoopbackListener listener_;
    SSL_CTX* context_ = nullptr;
    std::thread thread_;
    bool handshakeOk_ = false;
};

bool ReadAll(SSL* s, std::vector<uint8_t>& out, size_t n) {
    out.resize(n);
    size_t got = 0;
    while (got < n) {
        int r = SSL_read(s, out.data() + got, static_cast<int>(n - got));
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

class SSLTransportTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(NetStartup()); }
    void TearDown() override { NetShutdown(); }
    TestCertificate certificate_;
};

TEST_F(SSLTransportTest, MovesDataBothWaysAndClosesCleanly) {
    constexpr size_t kSize = 50000;
    std::vector<uint8_t> seen;
    bool cleanClose = false;
    TlsServer server(certificate_, [&](SSL* s, int) {
        if (!ReadAll(s, seen, kSize)) return;
        std::vector<uint8_t> answer = seen;
        for (uint8_t& b : answer)
            b ^= 0x5A;
        if (SSL_write(s, answer.data(), static_cast<int>(answer.size())) <= 0) return;
        char b;
        cleanClose = SSL_read(s, &b, 1) == 0 && SSL_get_error(s, 0) == SSL_ERROR_ZERO_RETURN;
    });

    SSLTransport t("localhost", server.port(), certificate_.pem);
    ASSERT_EQ(t.GetErrorCode(), NetTransport::kErrorNone);
    std::vector<uint8_t> data = testsupport::Pattern(kSize);
    ASSERT_TRUE(DaemonSocketSendExact(t, data.data(), data.size()));
    uint8_t first = 0;
    ASSERT_EQ(t.Peek(&first, 1), 1);
    EXPECT_EQ(first, data[0] ^ 0x5A);
    EXPECT_TRUE(t.HasData());
    std::vector<uint8_t> back(kSize);
    ASSERT_TRUE(DaemonSocketReceiveExact(t, back.data(), back.size()));
    t.Close();
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorClosed);
    EXPECT_FALSE(DaemonSocketSendExact(t, data.data(), 1));

    EXPECT_TRUE(server.Join());
    EXPECT_EQ(seen, data);
    for (size_t i = 0; i < kSize; ++i)
        ASSERT_EQ(back[i], data[i] ^ 0x5A) << i;
    EXPECT_TRUE(cleanClose);
}

TEST_F(SSLTransportTest, RefusesServersItCannotTrust) {
    struct Case {
        const char* what;
        const char* host;
        bool trustTestCertificate;
    };
    for (Case c : {Case{"not among the system's authorities", "localhost", false},
                   Case{"issued for another name", "127.0.0.1", true}}) {
        SCOPED_TRACE(c.what);
        TlsServer server(certificate_, [](SSL*, int) {});
        SSLTransport t(c.host, server.port(), c.trustTestCertificate ? certificate_.pem : "");
        EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorConnect);
        EXPECT_EQ(t.GetSocket(), -1);
        EXPECT_FALSE(server.Join());
    }
    // Text that holds no certificate trusts nothing.
    TlsServer server(certificate_, [](SSL*, int) {});
    SSLTransport t("localhost", server.port(), "not a certificate");
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorConnect);
}

TEST_F(SSLTransportTest, APeerThatGoesWhileSendingGivesErrorSevenWithoutSigpipe) {
    TlsServer server(certificate_, [](SSL*, int fd) { ::shutdown(fd, SHUT_RDWR); });
    SSLTransport t("localhost", server.port(), certificate_.pem);
    ASSERT_EQ(t.GetErrorCode(), NetTransport::kErrorNone);
    server.Join();
    EXPECT_TRUE(testsupport::SendUntilFailure(t));
    EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorIO);
}

TEST(NetStartupTest, CountsReferencesAndRestartsAfterTheLastShutdown) {
    NetShutdown();  // unbalanced: nothing happens
    EXPECT_EQ(NetAcquireClientContext(), nullptr);
    ASSERT_TRUE(NetStartup());
    ASSERT_TRUE(NetStartup());
    NetShutdown();
    SSL_CTX* context = NetAcquireClientContext();
    EXPECT_NE(context, nullptr);
    SSL_CTX_free(context);
    NetShutdown();
    EXPECT_EQ(NetAcquireClientContext(), nullptr);

    // Without the library a TLS transport cannot start.
    TestCertificate certificate;
    {
        TlsServer server(certificate, [](SSL*, int) {});
        SSLTransport t("localhost", server.port(), certificate.pem);
        EXPECT_EQ(t.GetErrorCode(), NetTransport::kErrorConnect);
        // The server is still waiting for a handshake; let it see the connection end.
    }
    ASSERT_TRUE(NetStartup());
    context = NetAcquireClientContext();
    EXPECT_NE(context, nullptr);
    SSL_CTX_free(context);
    NetShutdown();
}

}  // namespace
