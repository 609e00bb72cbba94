#include "exchange.h"

#include "replycheck.h"

#include <core/frame.h>
#include <core/linkaddress.h>
#include <link/controllerlink.h>
#include <link/linklog.h>
#include <link/portcatalog.h>
#include <link/qtseriallink.h>

#include <QEventLoop>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace zarnet::cli {

namespace {

// On top of the time the frame needs on the line, for the system to take it.
constexpr int WriteMarginMs = 2000;
// How long a network link must stay up after a write's bytes left for it to count.
constexpr int SettleMs = 100;

QString openFailure(OpenResult result) {
    switch (result) {
    case OpenResult::NoSuchPort:
        return u"no such port"_s;
    case OpenResult::PortInUse:
        return u"port in use by another program"_s;
    case OpenResult::Opened:
    case OpenResult::Connecting:
    case OpenResult::Failed:
        break;
    }
    return u"the port could not be opened (or no connection within 3 s)"_s;
}

QString hex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

} // namespace

bool openLink(QtSerialLink& serial, const Request& request, const PortCatalog& ports,
              QTextStream& err) {
    const auto device = ports.device(request.port);
    OpenResult opened = device ? serial.open(*device) : OpenResult::NoSuchPort;
    if (opened == OpenResult::Connecting) { // a serial device server: wait for the connection
        QEventLoop connecting;
        QObject::connect(&serial, &SerialLink::opened, &connecting, [&](OpenResult result) {
            opened = result;
            connecting.quit();
        });
        connecting.exec();
    }
    if (opened != OpenResult::Opened) {
        err << "zarnet-cli: " << request.port << ": " << openFailure(opened) << Qt::endl;
        return false;
    }
    // A reply left by an earlier run, or a controller's late answer, is not ours.
    serial.discardWaiting();
    return true;
}

int runExchange(const Request& request, const PortCatalog& ports, QTextStream& out,
                QTextStream& err) {
    QtSerialLink serial;
    if (!openLink(serial, request, ports, err))
        return PortFailed;

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

    // This run's bytes that may still hold the answer: what comes before it is
    // let go and logged, and the answer may come in pieces.
    QByteArray received;
    QString lastSkipped;
    auto letGo = [&](qsizetype count) {
        for (const Skipped& piece : describeSkipped(received.left(count), request)) {
            qCDebug(lcReply).noquote() << "dropped" << piece.size << "bytes:" << piece.why;
            lastSkipped = piece.why;
        }
        received.remove(0, count);
    };

    QObject::connect(&serial, &SerialLink::commEvent, &loop, [&](CommEvent kind) {
        if (kind != CommEvent::Receive) {
            finish(NoReply, u"a line error came instead of the reply"_s);
            return;
        }
        const QByteArray block = serial.input();
        qCDebug(lcLinkBytes).noquote() << "<" << hex(block);
        received += block;
        const Found found = findAnswer(received, request);
        if (found.at < 0) {
            // Older bytes cannot begin an answer that is still coming: it is shorter.
            if (received.size() > SerialLink::MaxKept)
                letGo(received.size() - SerialLink::MaxKept);
            serial.setReceiveThreshold(1); // the rest of the answer may be a few bytes
            return;
        }
        letGo(found.at);
        for (const QString& line : found.lines)
            out << line << Qt::endl;
        finish(Success);
    });
    QObject::connect(&serial, &SerialLink::hungUp, &loop,
                     [&] { finish(NoReply, u"the line hung up"_s); });

    const bool awaitsReply = request.awaits != Request::Awaits::Nothing;
    QTimer replyTimeout;
    replyTimeout.setSingleShot(true);
    QObject::connect(&replyTimeout, &QTimer::timeout, &loop, [&] {
        letGo(received.size());
        if (lastSkipped.isEmpty())
            finish(NoReply, u"no reply within %1 ms"_s.arg(request.timeoutMs));
        else
            finish(NoReply, u"the reply failed its checks: "_s + lastSkipped);
    });
    // A network link takes the bytes whether or not the far end keeps the
    // connection (a device server with its client slot taken accepts and closes
    // at once): a write counts only if the link is still up a moment later.
    const bool network = isNetworkAddress(serial.portName());
    QTimer settle;
    settle.setSingleShot(true);
    QObject::connect(&settle, &QTimer::timeout, &loop, [&] {
        if (serial.isOpen())
            finish(Success);
        else
            finish(NoReply, u"the line hung up"_s);
    });
    auto written = [&] {
        if (awaitsReply) {
            if (!replyTimeout.isActive())
                replyTimeout.start(request.timeoutMs);
        } else if (!network) {
            finish(Success);
        } else if (!settle.isActive()) {
            settle.start(SettleMs);
        }
    };
    // The reply is waited for once the request is out; a request without one is done.
    QObject::connect(&serial, &SerialLink::allWritten, &loop, written);
    const int writeMs = SerialLink::wireMs(request.frame.size()) + WriteMarginMs;
    QTimer writeTimeout;
    writeTimeout.setSingleShot(true);
    // Also the end of a run whose "all written" never came, so the loop always ends.
    QObject::connect(&writeTimeout, &QTimer::timeout, &loop, [&] {
        if (!serial.isOpen() || serial.pendingOutput() > 0)
            finish(NoReply, u"the frame could not be sent within %1 ms"_s.arg(writeMs));
        else
            written();
    });

    ControllerLink link(serial);
    const SendResult sent = awaitsReply
                                ? link.sendExpectingReply(request.frame, request.replyLength)
                                : link.send(request.frame);
    if (sent != SendResult::Sent) {
        err << "zarnet-cli: "
            << (sent == SendResult::PortClosed ? u"the port is not open"_s
                                               : u"the port refused the frame"_s)
            << Qt::endl;
        return NoReply;
    }
    writeTimeout.start(writeMs);
    loop.exec();
    return result;
}

} // namespace zarnet::cli
