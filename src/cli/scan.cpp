#include "scan.h"

#include "exchange.h"

#include <core/faultwords.h>
#include <core/frame.h>
#include <core/reply.h>
#include <core/requests.h>
#include <link/controllerlink.h>
#include <link/qtseriallink.h>
#include <link/quitsignals.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace zarnet::cli {

namespace {

QString bar(int done, int total) {
    constexpr int Width = 30;
    const int filled = total > 0 ? done * Width / total : Width;
    return u"\r[%1%2] %3/%4"_s.arg(QString(filled, u'#'), QString(Width - filled, u'.'))
        .arg(done)
        .arg(total);
}

// A scan decides that a number's bytes are garbage once this many came without a
// whole reply among them: a reply is FindReplyLength bytes.
constexpr int GarbageBytes = 4 * FindReplyLength;
// Fewer garbled numbers than this are collisions, not a line at the wrong speed.
constexpr int NoiseAtLeast = 3;

// The connection-test replies among the bytes, whole and checked, in order, and
// where the last one ends; a stray byte before, between or after them is passed over.
struct Replies {
    QList<int> devices;
    qsizetype end = 0;
};

Replies repliesIn(const QByteArray& bytes) {
    Replies found;
    for (qsizetype i = 0; i + FindReplyLength <= bytes.size();) {
        const Reply reply =
            uchar(bytes[i]) == StartByte ? parseReply(bytes.mid(i, FindReplyLength)) : Reply{};
        if (reply.kind == Reply::Kind::FoundDevice) {
            found.devices.append(reply.device);
            i += FindReplyLength;
            found.end = i;
        } else {
            ++i;
        }
    }
    return found;
}

} // namespace

int runScan(const Request& request, const PortCatalog& ports, QTextStream& out, QTextStream& err,
            QTextStream* progress) {
    QtSerialLink serial;
    if (!openLink(serial, request, ports, err))
        return PortFailed;
    ControllerLink link(serial);
    QEventLoop loop;
    QTimer waitTimer;
    waitTimer.setSingleShot(true);
    QElapsedTimer roundTrip;
    int device = request.scanFrom;
    int answered = 0;      // numbers with a whole, checked answer, also a late one
    int garbled = 0;       // numbers whose reply failed its checks
    bool lineLost = false; // the scan ended before its range did
    const int total = request.scanTo - request.scanFrom + 1;

    auto sendNext = [&] {
        if (progress)
            *progress << bar(device - request.scanFrom, total) << Qt::flush;
        if (device > request.scanTo || !serial.isOpen()) {
            loop.quit();
            return;
        }
        serial.discardWaiting(); // what a number before it sent late is not this one's answer
        if (link.sendExpectingReply(findFrame(uint8_t(device)), FindReplyLength) !=
            SendResult::Sent) {
            err << "zarnet-cli: the request for device " << device << " could not be sent"
                << Qt::endl;
            lineLost = true;
            loop.quit();
            return;
        }
        roundTrip.start();
        waitTimer.start(request.timeoutMs);
    };
    auto next = [&] {
        waitTimer.stop();
        ++device;
        QMetaObject::invokeMethod(&loop, sendNext, Qt::QueuedConnection);
    };
    auto say = [&](const QString& line) {
        if (progress)
            *progress << u"\r"_s << QString(44, u' ') << u"\r"_s << Qt::flush;
        out << line << Qt::endl;
    };

    // This number's bytes: whole replies in them are taken wherever they stand; bytes
    // with none are garbage once there are too many for a reply still to come whole,
    // or when the wait ends.
    QByteArray received;
    auto garbage = [&] {
        const Reply reply = parseReply(received);
        // No answer: two controllers on one number, or a line at another speed.
        say(u"%1  garbled answer (an address collision, or noise): the reply failed its checks (%2)"_s
                .arg(device)
                .arg(reply.kind == Reply::Kind::None ? describe(reply.rejection)
                                                     : u"another kind or device"_s));
        ++garbled;
    };
    QObject::connect(&waitTimer, &QTimer::timeout, &loop, [&] {
        // A byte or two that could begin no reply is line noise, not this number's answer.
        if (received.contains(char(StartByte)) || received.size() >= FindReplyLength)
            garbage();
        received.clear();
        next();
    });
    QObject::connect(&serial, &SerialLink::commEvent, &loop, [&](CommEvent kind) {
        const double ms = double(roundTrip.nsecsElapsed()) / 1e6;
        const QByteArray block = serial.input();
        if (kind != CommEvent::Receive || !waitTimer.isActive())
            return;
        received += block;
        serial.setReceiveThreshold(1); // the rest of a reply may be a few bytes
        bool found = false;
        const Replies replies = repliesIn(received);
        for (const int from : replies.devices) {
            if (from != device) {
                // A number tried before answered after its wait: it is there, and
                // this number's answer may still come.
                say(u"%1  answered late (after %2 ms; raise --timeout)"_s.arg(from).arg(
                    request.timeoutMs));
                ++answered;
                continue;
            }
            say(u"%1  %2 ms"_s.arg(device).arg(ms, 0, 'f', 1));
            ++answered;
            found = true;
        }
        if (found) {
            received.clear();
            next();
        } else if (!replies.devices.isEmpty()) {
            // Late answers only: this number's may still come, from a start byte on.
            received.remove(0, replies.end);
            received.remove(0, std::max<qsizetype>(received.indexOf(char(StartByte)), 0));
        } else if (received.size() >= GarbageBytes) {
            garbage();
            received.clear();
            next();
        }
    });
    QObject::connect(&serial, &SerialLink::hungUp, &loop, [&] {
        err << "zarnet-cli: the line hung up" << Qt::endl;
        lineLost = true;
        loop.quit();
    });
    // Ctrl-C ends the scan cleanly, with what was found so far already printed.
    bool interrupted = false;
    onTerminationRequest([&] {
        interrupted = true;
        loop.quit();
    });

    QMetaObject::invokeMethod(&loop, sendNext, Qt::QueuedConnection); // once the loop runs
    loop.exec();
    if (progress)
        *progress << Qt::endl;
    if (interrupted)
        err << "zarnet-cli: scan stopped at device " << device << Qt::endl;
    // Garbage from most numbers is no crowd of collisions but a line at the wrong speed.
    if (garbled >= NoiseAtLeast && 2 * garbled > device - request.scanFrom)
        err << "zarnet-cli: the line carries noise: check its speed" << Qt::endl;
    if (lineLost)
        return PortFailed; // a partial scan must not read as "these are all"
    return answered > 0 ? Success : NoReply;
}

} // namespace zarnet::cli
