#pragma once

#include <QByteArray>
#include <QDateTime>
#include <optional>

namespace zarnet::gateway {

// Why a client certificate and its key cannot be used with a broker.
enum class CertificateFault {
    NoCertificate, // the file holds no PEM certificate
    NoKey,         // no PEM private key, or the password does not open it
    KeyMismatch,   // the key is not the certificate's
    Expired,
    NotYetValid,
};

struct CertificateProblem {
    CertificateFault fault;
    QDateTime when; // the end or the start of the certificate's validity, where it matters
};

// Checks a PEM certificate and its PEM private key (opened with `password` when
// encrypted) as a broker would take them at `now`; nullopt when they can be used.
std::optional<CertificateProblem> checkClientCertificate(const QByteArray& certificate,
                                                         const QByteArray& key,
                                                         const QByteArray& password,
                                                         const QDateTime& now);

} // namespace zarnet::gateway
