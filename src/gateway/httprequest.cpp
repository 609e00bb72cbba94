#include "httprequest.h"

#include <algorithm>

namespace zarnet::gateway {

namespace {

bool isTokenChar(char c) {
    return c > 32 && c < 127 && !QByteArrayView("()<>@,;:\\\"/[]?={}").contains(c);
}

bool isToken(QByteArrayView text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

// Header values may hold visible characters, spaces and tabs; a control
// character could split what a log or a proxy reads.
bool isFieldValue(QByteArrayView text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return uchar(c) >= 32 ? c != 127 : c == '\t'; });
}

QByteArray cookieValue(QByteArrayView cookies, QByteArrayView name) {
    for (QByteArrayView part : cookies.toByteArray().split(';')) {
        part = part.trimmed();
        if (part.startsWith(name) && part.size() > name.size() && part[name.size()] == '=')
            return part.sliced(name.size() + 1).toByteArray();
    }
    return {};
}

// A percent-decoded query value. A "+" stays a "+": tokens hold it.
QByteArray queryValue(QByteArrayView query, QByteArrayView name) {
    for (const QByteArray& part : query.toByteArray().split('&'))
        if (part.startsWith(name) && part.size() > name.size() && part[name.size()] == '=')
            return QByteArray::fromPercentEncoding(part.sliced(name.size() + 1));
    return {};
}

bool hasControl(QByteArrayView text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return uchar(c) < 32 || c == 127; });
}

} // namespace

std::variant<HttpRequest, HttpFault> readHttpRequest(QByteArrayView bytes) {
    const qsizetype end = bytes.indexOf(QByteArrayView("\r\n\r\n"));
    if (end < 0)
        return bytes.size() >= MaxHeadBytes ? HttpFault::HeadTooLarge : HttpFault::Incomplete;
    if (end + 4 > MaxHeadBytes)
        return HttpFault::HeadTooLarge;
    const QList<QByteArray> lines = bytes.first(end).toByteArray().split('\n');
    if (lines.size() - 1 > MaxHeaders)
        return HttpFault::HeadTooLarge;
    for (const QByteArray& line : lines)
        if ((!line.endsWith('\r') && &line != &lines.last()) || line.startsWith(' ') ||
            line.startsWith('\t'))
            return HttpFault::Malformed; // a bare LF, or a folded header line
    const QList<QByteArray> parts = lines.first().trimmed().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || !parts[1].startsWith('/'))
        return HttpFault::Malformed;
    if (!parts[2].startsWith("HTTP/1."))
        return parts[2].startsWith("HTTP/") ? HttpFault::BadVersion : HttpFault::Malformed;
    if (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0")
        return HttpFault::BadVersion;

    if (parts[0] != "GET" && parts[0] != "HEAD")
        return HttpFault::NotAllowed;
    HttpRequest request;
    request.head = parts[0] == "HEAD";
    request.size = end + 4;
    QByteArray cookies;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(QByteArrayView(line).first(colon)))
            return HttpFault::Malformed;
        const QByteArray name = line.first(colon).toLower();
        const QByteArray value = line.sliced(colon + 1).trimmed();
        if (!isFieldValue(value))
            return HttpFault::Malformed;
        if (name == "authorization" && value.startsWith("Bearer "))
            request.token = QString::fromUtf8(value.sliced(7).trimmed());
        else if (name == "cookie")
            cookies += value + ';';
        else if (name == "accept-language")
            request.acceptLanguage = value;
        else if (name == "host")
            request.host = value;
        else if ((name == "content-length" && value != "0") || name == "transfer-encoding")
            return HttpFault::HasBody;
    }

    const QByteArray& target = parts[1];
    const qsizetype question = target.indexOf('?');
    const QByteArray rawPath = question < 0 ? target : target.first(question);
    const QByteArray query = question < 0 ? QByteArray() : target.sliced(question + 1);
    const QByteArray path = QByteArray::fromPercentEncoding(rawPath);
    const QByteArray inQuery = queryValue(query, "token");
    if (hasControl(path) || hasControl(inQuery) || path.contains("/../") || path.endsWith("/.."))
        return HttpFault::Malformed;
    request.path = QString::fromUtf8(path);
    if (!inQuery.isEmpty()) {
        request.token = QString::fromUtf8(inQuery);
        request.tokenInQuery = true;
    } else if (request.token.isEmpty()) {
        request.token = QString::fromUtf8(cookieValue(cookies, "zarnet_token"));
    }
    return request;
}

int httpStatus(HttpFault fault) {
    switch (fault) {
    case HttpFault::Incomplete:
        return 0;
    case HttpFault::Malformed:
        return 400;
    case HttpFault::HeadTooLarge:
        return 431;
    case HttpFault::NotAllowed:
        return 405;
    case HttpFault::HasBody:
        return 413;
    case HttpFault::BadVersion:
        return 505;
    }
    return 400;
}

} // namespace zarnet::gateway
