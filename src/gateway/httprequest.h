#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <variant>

namespace zarnet::gateway {

// What a client asked of the service's read-only web server.
struct HttpRequest {
    bool head = false; // HEAD: the answer without its body
    QString path;      // decoded, without the query
    QString token;     // from "Authorization: Bearer", the query's token= or the cookie
    bool tokenInQuery = false;
    QByteArray acceptLanguage;
    QByteArray host;    // the Host header
    qsizetype size = 0; // bytes of the request head, its blank line included
};

enum class HttpFault {
    Incomplete,   // not a whole request head yet
    Malformed,    // 400
    HeadTooLarge, // 431: more than MaxHeadBytes, or more than MaxHeaders lines
    NotAllowed,   // 405: a method other than GET and HEAD
    HasBody,      // 413: a body, which no resource here takes
    BadVersion,   // 505
};

inline constexpr qsizetype MaxHeadBytes = 8192;
inline constexpr int MaxHeaders = 64;

// Reads the request head at the start of `bytes` (HTTP/1.0 or 1.1).
std::variant<HttpRequest, HttpFault> readHttpRequest(QByteArrayView bytes);

// The status line's code and words for a fault; Incomplete has none.
int httpStatus(HttpFault fault);

} // namespace zarnet::gateway
