#include "linkaddress.h"

namespace zarnet {

bool isNetworkAddress(const QString& text) {
    return text.trimmed().contains(u"://");
}

std::variant<TcpAddress, AddressFault> parseTcpAddress(const QString& text, bool listening) {
    const QString trimmed = text.trimmed();
    const qsizetype schemeEnd = trimmed.indexOf(u"://");
    if (schemeEnd < 0 || trimmed.left(schemeEnd).compare(u"tcp", Qt::CaseInsensitive) != 0)
        return AddressFault::UnknownScheme;
    const QString rest = trimmed.mid(schemeEnd + 3);
    if (rest.startsWith(u' '))
        return AddressFault::EmptyHost;
    QString host;
    QString port;
    if (rest.startsWith(u'[')) { // [::1]:4001
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return AddressFault::EmptyHost;
        host = rest.mid(1, close - 1);
        if (rest.mid(close + 1).startsWith(u':'))
            port = rest.mid(close + 2);
        else if (close + 1 < rest.size())
            return AddressFault::BadPort;
    } else {
        const qsizetype colon = rest.lastIndexOf(u':');
        host = colon < 0 ? rest : rest.left(colon);
        if (colon >= 0)
            port = rest.mid(colon + 1);
        if (host.contains(u':')) // an IPv6 host needs its brackets
            return AddressFault::BadPort;
    }
    if (host.isEmpty())
        return AddressFault::EmptyHost;
    for (const QChar c : host)
        if (c.isSpace())
            return AddressFault::EmptyHost; // a blank inside is no host name
    if (port.isEmpty())
        return AddressFault::NoPort;
    bool ok = false;
    const uint number = port.toUInt(&ok);
    if (!ok || number < (listening ? 0u : 1u) || number > 65535 || !port.front().isDigit())
        return AddressFault::BadPort;
    return TcpAddress{host, uint16_t(number)};
}

} // namespace zarnet
