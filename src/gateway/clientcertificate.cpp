#include "clientcertificate.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <ctime>
#include <memory>

namespace zarnet::gateway {

namespace {

template <typename T, void (*Free)(T*)> struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using Certificate = std::unique_ptr<X509, Freer<X509, X509_free>>;
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;

Bio memory(const QByteArray& bytes) {
    return Bio(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
}

// Gives OpenSSL the key's password; with none it gets nothing, and never asks
// on a terminal.
int givePassword(char* buffer, int size, int, void* password) {
    const auto* text = static_cast<const QByteArray*>(password);
    if (text->size() >= size)
        return 0;
    std::memcpy(buffer, text->constData(), size_t(text->size()));
    return int(text->size());
}

QDateTime timeOf(const ASN1_TIME* time) {
    std::tm parts{};
    if (ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    return QDateTime::fromSecsSinceEpoch(qint64(timegm(&parts)), Qt::UTC);
}

} // namespace

std::optional<CertificateProblem> checkClientCertificate(const QByteArray& certificate,
                                                         const QByteArray& key,
                                                         const QByteArray& password,
                                                         const QDateTime& now) {
    // What fails here leaves errors in the thread's queue, where the broker
    // connection's next TLS read would take them for its own and drop the connection.
    struct ClearErrors {
        ~ClearErrors() { ERR_clear_error(); }
    } clearErrors;
    const Bio certificateBio = memory(certificate);
    const Certificate cert(PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr));
    if (!cert)
        return CertificateProblem{CertificateFault::NoCertificate, {}};
    const Bio keyBio = memory(key);
    QByteArray secret = password;
    const Key privateKey(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, givePassword, &secret));
    if (!privateKey)
        return CertificateProblem{CertificateFault::NoKey, {}};
    if (X509_check_private_key(cert.get(), privateKey.get()) != 1)
        return CertificateProblem{CertificateFault::KeyMismatch, {}};
    time_t at = time_t(now.toSecsSinceEpoch());
    if (X509_cmp_time(X509_get0_notAfter(cert.get()), &at) < 0)
        return CertificateProblem{CertificateFault::Expired,
                                  timeOf(X509_get0_notAfter(cert.get()))};
    if (X509_cmp_time(X509_get0_notBefore(cert.get()), &at) > 0)
        return CertificateProblem{CertificateFault::NotYetValid,
                                  timeOf(X509_get0_notBefore(cert.get()))};
    return std::nullopt;
}

} // namespace zarnet::gateway
