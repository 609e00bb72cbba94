#include "exchange.h"

#include <link/controllerlink.h>
#include <link/messages.h>
#include <link/portcatalog.h>
#include <link/qtseriallink.h>
#include <link/replyreception.h>

#include <QEventLoop>
#include <QTimer>
#include <memory>

using namespace Qt::StringLiterals;

namespace zarnet::cli {

namespace {

class StreamMessages : public Messages {
public:
    explicit StreamMessages(QTextStream& err) : err_(err) {}
    void error(const QString& text) override { err_ << "zarnet-cli: " << text << Qt::endl; }
    void information(const QString& text) override { err_ << text << Qt::endl; }

private:
    QTextStream& err_;
};

QString openFailure(OpenResult result) {
    switch (result) {
    case OpenResult::NoSuchPort:
        return u"no such port"_s;
    case OpenResult::PortInUse:
        return u"port in use by another program"_s;
    default:
        return u"the port could not be opened"_s;
    }
}

QString hex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

} // namespace

int runExchange(const Request& request, const PortCatalog& ports, QTextStream& out,
                QTextStream& err) {
    QtSerialLink serial;
    const auto device = ports.device(request.port);
    const OpenResult opened = device ? serial.open(*device) : OpenResult::NoSuchPort;
    if (opened != OpenResult::Opened) {
        err << "zarnet-cli: " << request.port << ": " << openFailure(opened) << Qt::endl;
        return PortFailed;
    }

    QEventLoop loop;
    int result = -1;
    auto finish = [&](int code, const QString& why = QString()) {
        if (result >= 0)
            return;
        result = code;
        if (!why.isEmpty())
            err << "zarnet-cli: " << why << Qt::endl;
        loop.quit();
    };

    // Received bytes are shown before the reception takes them.
    if (request.verbose)
        QObject::connect(&serial, &SerialLink::commEvent, &loop,
                         [&] { err << "< " << hex(serial.peekInput()) << Qt::endl; });
    ReplyReception reception(serial);
    QObject::connect(&reception, &ReplyReception::deviceFound, &loop, [&](int found) {
        out << found << Qt::endl;
        finish(Success);
    });
    QObject::connect(&reception, &ReplyReception::unitValues, &loop,
                     [&](const QList<uint32_t>& values) {
                         for (const uint32_t value : values)
                             out << value << Qt::endl;
                         finish(Success);
                     });
    // Runs after the reception: an event it found nothing in was a bad reply.
    QObject::connect(&serial, &SerialLink::commEvent, &loop,
                     [&] { finish(NoReply, u"the reply failed its checks"_s); });
    QObject::connect(&serial, &SerialLink::hungUp, &loop,
                     [&] { finish(NoReply, u"the line hung up"_s); });

    StreamMessages messages(err);
    ControllerLink link(serial, messages);
    if (request.verbose)
        err << "> " << hex(request.frame) << Qt::endl;
    const bool sent = request.awaits == Request::Awaits::Nothing
                          ? link.send(request.frame)
                          : link.sendExpectingReply(request.frame, request.replyLength);
    if (!sent)
        return NoReply;

    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&] {
        finish(NoReply, request.awaits == Request::Awaits::Nothing
                            ? u"the frame could not be sent within %1 ms"_s.arg(request.timeoutMs)
                            : u"no reply within %1 ms"_s.arg(request.timeoutMs));
    });
    timeout.start(request.timeoutMs);

    QTimer drained; // a request without a reply is done once every byte has left
    if (request.awaits == Request::Awaits::Nothing) {
        QObject::connect(&drained, &QTimer::timeout, &loop, [&] {
            if (serial.pendingOutput() == 0)
                finish(Success);
        });
        drained.start(2);
    }
    loop.exec();
    return result;
}

} // namespace zarnet::cli
