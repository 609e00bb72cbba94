#pragma once

#include "httprequest.h"
#include "repeatlog.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QTimer>
#include <functional>
#include <map>

class QTcpSocket;

Q_DECLARE_LOGGING_CATEGORY(lcWeb) // zarnet.web: the web server's clients, and every one closed

namespace zarnet::gateway {

// What the server sends for a request.
struct HttpAnswer {
    int status = 200;
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    // The connection stays open and takes every event sent from now on; `body`
    // goes first.
    bool eventStream = false;
};

// A small read-only HTTP/1.1 server: one request per connection, then it closes;
// event streams stay open. Bounded in every way a client could grow it: the
// request head's size, the time it may take, the connections open at once, and
// what waits unread for a stream.
class HttpServer : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxClients = 64;
    static constexpr int HeadTimeoutMs = 10000;
    // A client that has not taken its whole answer by then is closed.
    static constexpr int AnswerTimeoutMs = 30000;
    // A stream whose reader lets this much wait is closed: it does not keep up.
    static constexpr qint64 MaxUnread = qint64{1024} * 1024;
    // A comment line on every stream this often, so that a gone reader shows.
    static constexpr int KeepAliveMs = 15000;

    using Responder = std::function<HttpAnswer(const HttpRequest&)>;
    explicit HttpServer(Responder responder, QObject* parent = nullptr);
    ~HttpServer() override;

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    void close();
    bool isListening() const { return server_.isListening(); }
    quint16 port() const { return server_.serverPort(); }
    // Sends one event to every open stream.
    void sendEvent(const QByteArray& event, const QByteArray& data);
    int streams() const;
    // Closes every event stream, saying why in the log: what let them in has changed.
    void closeStreams(const QString& why);

private:
    struct Client {
        QByteArray head;
        QElapsedTimer connected;
        QElapsedTimer quiet; // since the client last sent a byte or took one
        bool answered = false;
        bool stream = false;
    };

    void accept();
    void read(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const HttpAnswer& answer, bool head);
    void fail(QTcpSocket* socket, int status, const QString& why);
    void drop(QTcpSocket* socket, const QString& why);
    void makeRoom();
    void check();

    Responder responder_;
    QTcpServer server_;
    std::map<QTcpSocket*, Client> clients_;
    QTimer check_;
    QElapsedTimer sinceKeepAlive_;
    RepeatLog log_;
};

} // namespace zarnet::gateway
