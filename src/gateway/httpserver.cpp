#include "httpserver.h"

#include <QHash>
#include <QTcpSocket>
#include <algorithm>
#include <tuple>

Q_LOGGING_CATEGORY(lcWeb, "zarnet.web", QtWarningMsg)

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

QString peer(const QTcpSocket* socket) {
    return socket->peerAddress().toString() + u':' + QString::number(socket->peerPort());
}

} // namespace

HttpServer::HttpServer(Responder responder, QObject* parent)
    : QObject(parent), responder_(std::move(responder)), log_(lcWeb) {
    connect(&server_, &QTcpServer::newConnection, this, &HttpServer::accept);
    check_.setInterval(1000);
    connect(&check_, &QTimer::timeout, this, &HttpServer::check);
}

HttpServer::~HttpServer() {
    close();
}

bool HttpServer::listen(const QHostAddress& address, quint16 port, QString* error) {
    if (!server_.listen(address, port)) {
        *error = u"cannot serve the web page on %1:%2: %3"_s.arg(address.toString())
                     .arg(port)
                     .arg(server_.errorString());
        return false;
    }
    check_.start();
    sinceKeepAlive_.start();
    return true;
}

void HttpServer::close() {
    server_.close();
    check_.stop();
    for (auto& [socket, client] : clients_) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    clients_.clear();
}

int HttpServer::streams() const {
    return int(std::count_if(clients_.begin(), clients_.end(),
                             [](const auto& c) { return c.second.stream; }));
}

void HttpServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (clients_.size() >= MaxClients)
            makeRoom();
        Client& client = clients_[socket];
        client.connected.start();
        client.quiet.start();
        // A head larger than this is refused anyway: nothing more is read.
        socket->setReadBufferSize(MaxHeadBytes + 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            if (const auto found = clients_.find(socket); found != clients_.end())
                found->second.quiet.start();
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            clients_.erase(socket);
            socket->deleteLater();
        });
    }
}

void HttpServer::read(QTcpSocket* socket) {
    const auto found = clients_.find(socket);
    if (found == clients_.end())
        return;
    Client& client = found->second;
    client.quiet.start();
    if (client.answered) { // nothing more is asked on this connection
        socket->readAll();
        return;
    }
    const qsizetype before = client.head.size();
    client.head += socket->read(MaxHeadBytes + 1 - client.head.size());
    // A head sent a byte at a time is looked at again only once it may be whole.
    if (client.head.indexOf("\r\n\r\n", std::max<qsizetype>(0, before - 3)) < 0 &&
        client.head.size() <= MaxHeadBytes)
        return;
    const auto request = readHttpRequest(client.head);
    if (const auto* fault = std::get_if<HttpFault>(&request)) {
        if (*fault != HttpFault::Incomplete)
            fail(socket, httpStatus(*fault), u"its request was refused"_s);
        return;
    }
    const HttpRequest& r = std::get<HttpRequest>(request);
    answer(socket, responder_(r), r.head);
}

void HttpServer::answer(QTcpSocket* socket, const HttpAnswer& answer, bool head) {
    Client& client = clients_.at(socket);
    client.answered = true;
    client.head.clear();
    QByteArray out = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                     reasonPhrase(answer.status) + "\r\nContent-Type: " + answer.contentType +
                     "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
    for (const auto& [name, value] : answer.headers)
        out += name + ": " + value + "\r\n";
    if (answer.eventStream && !head) {
        client.stream = true;
        socket->write(out + "\r\n" + answer.body);
        return;
    }
    out += "Content-Length: " + QByteArray::number(answer.body.size()) +
           "\r\nConnection: close\r\n\r\n";
    if (!head)
        out += answer.body;
    socket->write(out);
    socket->disconnectFromHost(); // once the answer is out
}

void HttpServer::fail(QTcpSocket* socket, int status, const QString& why) {
    log_.warn(QString::number(status), u"answered %1 with %2 %3: %4"_s.arg(peer(socket))
                                           .arg(status)
                                           .arg(QString::fromLatin1(reasonPhrase(status)), why));
    HttpAnswer refusal{status, "text/plain; charset=utf-8", reasonPhrase(status) + '\n', {}};
    if (status == 405)
        refusal.headers.append(qMakePair(QByteArray("Allow"), QByteArray("GET, HEAD")));
    answer(socket, refusal, false);
}

void HttpServer::drop(QTcpSocket* socket, const QString& why) {
    log_.warn(why, u"closed %1: %2"_s.arg(peer(socket), why));
    clients_.erase(socket);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

// A full table makes room by closing one connection: first one that is no event
// stream, at the address that holds the most connections (one peer opening
// connection after connection cannot push out every other reader), the quietest
// there; only when every connection is a stream, the quietest stream.
void HttpServer::makeRoom() {
    QHash<QHostAddress, int> held;
    for (const auto& [socket, client] : clients_)
        ++held[socket->peerAddress()];
    const auto rank = [&](const auto& c) {
        return std::make_tuple(!c.second.stream, held.value(c.first->peerAddress()),
                               c.second.quiet.elapsed());
    };
    const auto victim =
        std::max_element(clients_.begin(), clients_.end(),
                         [&](const auto& a, const auto& b) { return rank(a) < rank(b); });
    drop(victim->first,
         u"%1 connections are open; it was the quietest %2"_s.arg(MaxClients)
             .arg(victim->second.stream ? u"event stream"_s : u"request at the busiest address"_s));
}

void HttpServer::sendEvent(const QByteArray& event, const QByteArray& data) {
    QByteArray message = "event: " + event + '\n';
    for (const QByteArray& line : data.split('\n'))
        message += "data: " + line + '\n';
    message += '\n';
    QList<QTcpSocket*> behind;
    for (auto& [socket, client] : clients_) {
        if (!client.stream)
            continue;
        if (socket->bytesToWrite() > MaxUnread)
            behind.append(socket);
        else
            socket->write(message);
    }
    for (QTcpSocket* socket : behind)
        drop(socket, u"its event stream has more than %1 KiB unread"_s.arg(MaxUnread / 1024));
}

void HttpServer::closeStreams(const QString& why) {
    QList<QTcpSocket*> streams;
    for (const auto& [socket, client] : clients_)
        if (client.stream)
            streams.append(socket);
    for (QTcpSocket* socket : streams)
        drop(socket, why);
}

// Slow clients, and a keep-alive line for the streams.
void HttpServer::check() {
    QList<QTcpSocket*> slow;
    QList<QTcpSocket*> unread;
    for (const auto& [socket, client] : clients_) {
        if (!client.answered && client.connected.elapsed() > HeadTimeoutMs)
            slow.append(socket);
        else if (client.answered && !client.stream && client.connected.elapsed() > AnswerTimeoutMs)
            unread.append(socket);
    }
    for (QTcpSocket* socket : slow)
        fail(socket, 408, u"it did not finish its request within %1 s"_s.arg(HeadTimeoutMs / 1000));
    for (QTcpSocket* socket : unread)
        drop(socket, u"it did not take its answer within %1 s"_s.arg(AnswerTimeoutMs / 1000));
    if (sinceKeepAlive_.elapsed() < KeepAliveMs)
        return;
    sinceKeepAlive_.start();
    for (auto& [socket, client] : clients_)
        if (client.stream)
            socket->write(": keep-alive\n\n");
}

} // namespace zarnet::gateway
