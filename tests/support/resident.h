#pragma once

#include <QFile>

namespace zarnet::test {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory in quarantine, so the resident size grows
// by design there; its leak checker watches for leaks instead.
inline constexpr bool ResidentSizeMeaningful = false;
#else
inline constexpr bool ResidentSizeMeaningful = true;
#endif

// This process's resident size, or −1 where the system does not say.
inline long residentKiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLong() * 4; // pages of 4 KiB
}

} // namespace zarnet::test
