#include "online/ssl_transport.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>

#include "online/net_startup.h"
#include "online/tcp_transport.h"

namespace {

// OpenSSL's own socket layer writes with write(), which raises SIGPIPE when the peer has gone;
// this one sends with MSG_NOSIGNAL and otherwise behaves like it on a blocking socket.
int SocketFd(BIO* bio) {
    return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
}

int BioWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    ssize_t r;
    do {
        r = ::send(SocketFd(bio), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    } while (r < 0 && errno == EINTR);
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_write(bio);
    return static_cast<int>(r);
}

int BioRead(BIO* bio, char* data, int length) {
    BIO_clear_retry_flags(bio);
    ssize_t r;
    do {
        r = ::recv(SocketFd(bio), data, static_cast<size_t>(length), 0);
    } while (r < 0 && errno == EINTR);
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_read(bio);
    return static_cast<int>(r);
}

long BioControl(BIO* bio, int command, long, void* pointer) {
    switch (command) {
        case BIO_CTRL_FLUSH:
            return 1;
        case BIO_C_GET_FD:
            if (pointer != nullptr) *static_cast<int*>(pointer) = SocketFd(bio);
            return SocketFd(bio);
        default:
            return 0;
    }
}

int BioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* SocketBioMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(
            BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "halvex socket");
        if (m != nullptr) {
            BIO_meth_set_write(m, BioWrite);
            BIO_meth_set_read(m, BioRead);
            BIO_meth_set_ctrl(m, BioControl);
            BIO_meth_set_create(m, BioCreate);
        }
        return m;
    }();
    return method;
}

// A store of the certificates in the PEM text; null when it holds none.
X509_STORE* StoreFromPem(const std::string& pem) {
    BIO* in = BIO_new_mem_buf(pem.data(), static_cast<int>(std::min<size_t>(pem.size(), INT_MAX)));
    if (in == nullptr) return nullptr;
    X509_STORE* store = X509_STORE_new();
    int count = 0;
    while (store != nullptr) {
        X509* cert = PEM_read_bio_X509(in, nullptr, nullptr, nullptr);
        if (cert == nullptr) break;
        if (X509_STORE_add_cert(store, cert) == 1) ++count;
        X509_free(cert);
    }
    BIO_free(in);
    ERR_clear_error();  // the end of the text reads as an error
    if (count == 0) {
        X509_STORE_free(store);
        return nullptr;
    }
    return store;
}

bool IsIPv4(const std::string& host) {
    in_addr a;
    return ::inet_pton(AF_INET, host.c_str(), &a) == 1;
}

}  // namespace

SSLTransport::SSLTransport(std::string_view host, uint16_t port, std::string trustedPem)
    : host_(host.substr(0, TCPTransport::kHostMax)),
      port_(port),
      trustedPem_(std::move(trustedPem)) {
    int fd = ConnectStreamSocket(host_, port_);
    if (fd < 0) {
        RaiseError(kErrorConnect);
        return;
    }
    Adopt(fd);
    if (!Handshake(fd)) {
        if (ssl_ != nullptr) SSL_free(ssl_);
        ssl_ = nullptr;
        ERR_clear_error();
        ReleaseSocket();
        RaiseError(kErrorConnect);
    }
}

bool SSLTransport::Handshake(int fd) {
    SSL_CTX* context = NetAcquireClientContext();
    if (context == nullptr) return false;
    ssl_ = SSL_new(context);
    SSL_CTX_free(context);  // the session holds its own reference
    const BIO_METHOD* method = SocketBioMethod();
    if (ssl_ == nullptr || method == nullptr) return false;
    BIO* bio = BIO_new(method);
    if (bio == nullptr) return false;
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
    SSL_set_bio(ssl_, bio, bio);

    if (!trustedPem_.empty()) {
        X509_STORE* store = StoreFromPem(trustedPem_);
        if (store == nullptr || SSL_set0_verify_cert_store(ssl_, store) != 1) {
            X509_STORE_free(store);
            return false;
        }
    }
    SSL_set_verify(ssl_, SSL_VERIFY_PEER, nullptr);
    if (IsIPv4(host_)) {
        if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host_.c_str()) != 1) return false;
    } else {
        if (SSL_set1_host(ssl_, host_.c_str()) != 1) return false;
        SSL_set_tlsext_host_name(ssl_, host_.c_str());
    }
    ERR_clear_error();
    return SSL_connect(ssl_) == 1;
}

SSLTransport::~SSLTransport() {
    if (ssl_ != nullptr) {
        if (GetErrorCode() == kErrorNone) SSL_shutdown(ssl_);
        SSL_free(ssl_);
        ERR_clear_error();
    }
}

int SSLTransport::Outcome(int result) {
    if (result > 0) return result;
    // A clean close notice, an abrupt end and a protocol failure all end the stream.
    RaiseError(kErrorIO);
    ERR_clear_error();
    return result < 0 ? -1 : 0;
}

int SSLTransport::Read(void* buffer, size_t length) {
    if (GetSocket() < 0 || ssl_ == nullptr) return -1;
    if (length == 0) return 0;
    ERR_clear_error();
    return Outcome(SSL_read(ssl_, buffer, static_cast<int>(std::min<size_t>(length, INT_MAX))));
}

int SSLTransport::Peek(void* buffer, size_t length) {
    if (GetSocket() < 0 || ssl_ == nullptr) return -1;
    if (length == 0) return 0;
    ERR_clear_error();
    return Outcome(SSL_peek(ssl_, buffer, static_cast<int>(std::min<size_t>(length, INT_MAX))));
}

int SSLTransport::Write(const void* buffer, size_t length) {
    if (GetSocket() < 0 || ssl_ == nullptr) return -1;
    if (length == 0) return 0;
    ERR_clear_error();
    int r = SSL_write(ssl_, buffer, static_cast<int>(std::min<size_t>(length, INT_MAX)));
    return r > 0 ? r : (Outcome(r), -1);
}

void SSLTransport::Close() {
    if (ssl_ != nullptr && GetSocket() >= 0 && GetErrorCode() == kErrorNone) {
        ERR_clear_error();
        SSL_shutdown(ssl_);
        ERR_clear_error();
    }
    ShutDownSocket();
}

std::unique_ptr<NetTransport> SSLTransport::Reopen(uint16_t port) {
    return std::make_unique<SSLTransport>(host_, port, trustedPem_);
}

bool SSLTransport::HasData() {
    if (GetSocket() < 0 || ssl_ == nullptr) return false;
    return SSL_pending(ssl_) > 0 || SocketReadable();
}
