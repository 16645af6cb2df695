#include "tester/TlsProbe.h"

#include "platform/InputFile.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <memory>

namespace {

bool IsAddressLiteral(const std::string& host) {
    unsigned char bytes[16];
    return inet_pton(AF_INET, host.c_str(), bytes) == 1 || inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

// OpenSSL sends with write(), which raises SIGPIPE on a connection that the peer or a Kill has shut,
// and SIGPIPE ends a program that does not ignore it. The signal is held back on this thread for the
// handshake, and one that arose meanwhile is taken before it is let through again.
class SigpipeHold {
public:
    SigpipeHold() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~SigpipeHold() {
        const timespec now{};
        while (sigtimedwait(&m_pipe, nullptr, &now) == SIGPIPE) {
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    SigpipeHold(const SigpipeHold&) = delete;
    SigpipeHold& operator=(const SigpipeHold&) = delete;

private:
    sigset_t m_pipe;
    sigset_t m_old;
};

// The CA file goes through the program's checked reader: a FIFO or a folder named there must not
// hold the run, nor a huge file fill the memory.
bool LoadCaFile(SSL_CTX* context, const std::string& path) {
    platform::InputFile file(path, platform::InputFile::SmallFileLimit);
    std::string pem;
    if (!file.IsOpen() || !file.ReadRest(pem))
        return false;
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())),
                                                        BIO_free);
    STACK_OF(X509_INFO)* infos = bio ? PEM_X509_INFO_read_bio(bio.get(), nullptr, nullptr, nullptr) : nullptr;
    if (infos == nullptr)
        return false;
    X509_STORE* store = SSL_CTX_get_cert_store(context);
    int added = 0;
    for (int i = 0; i < sk_X509_INFO_num(infos); ++i) {
        const X509_INFO* info = sk_X509_INFO_value(infos, i);
        if (info->x509 != nullptr && X509_STORE_add_cert(store, info->x509) == 1)
            ++added;
        if (info->crl != nullptr)
            X509_STORE_add_crl(store, info->crl);
    }
    sk_X509_INFO_pop_free(infos, X509_INFO_free);
    return added > 0;
}

} // namespace

TlsProbe::~TlsProbe() {
    SSL_CTX_free(m_context);
}

bool TlsProbe::Prepare(const std::string& caFile, std::string& error) {
    SSL_CTX_free(m_context);
    m_context = SSL_CTX_new(TLS_client_method());
    const bool loaded = m_context && (caFile.empty() ? SSL_CTX_set_default_verify_paths(m_context) == 1
                                                     : LoadCaFile(m_context, caFile));
    if (loaded) {
        SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
        return true;
    }
    error =
        caFile.empty() ? "the system's certificate store cannot be read" : "cannot read certificates from " + caFile;
    ERR_clear_error();
    SSL_CTX_free(m_context);
    m_context = nullptr;
    return false;
}

int TlsProbe::Handshake(int fd, const std::string& host, std::chrono::milliseconds limit,
                        socketio::Clock::time_point deadline, const std::function<bool()>& stopped) const {
    const SigpipeHold hold;
    const std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(m_context), SSL_free);
    if (!ssl || SSL_set_fd(ssl.get(), fd) != 1)
        return 0;
    // Server names are for names only; an address is checked against the certificate's addresses.
    if (IsAddressLiteral(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl.get()), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl.get(), host.c_str());
        SSL_set1_host(ssl.get(), host.c_str());
    }
    for (;;) {
        ERR_clear_error();
        const int result = SSL_connect(ssl.get());
        if (result == 1)
            return SSL_get_verify_result(ssl.get()) == X509_V_OK ? 1 : 0;
        const int reason = SSL_get_error(ssl.get(), result);
        if (reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE) {
            ERR_clear_error();
            return stopped() ? -1 : 0;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - socketio::Clock::now());
        if (left.count() <= 0 || stopped())
            return -1;
        const short events = reason == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        if (socketio::WaitFor(fd, events, std::min(limit, left)) == 0)
            return -1;
    }
}
