// The window's own times: start-up to the window shown (with the 16-port scan),
// and a click on "发送点阵" to the last byte of the 2064-byte frame on the line.
//
//   bench_window startup [runs]   launches itself that many times and reports
//   bench_window click [runs]     clicks over a pseudo-terminal that many times
//   bench_window scan [runs]      the port scan when none of the 16 ports exists
#include <canvas/songfont.h>
#include <dots/dialogs.h>
#include <link/portcatalog.h>
#include <link/pseudoterminal.h>
#include <link/qtseriallink.h>
#include <shell/mainform.h>
#include <shell/portscan.h>
#include <ui/messages.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTextStream>
#include <QWindow>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QElapsedTimer sinceMain;

// Counts the boxes instead of showing them, so that nothing waits for a click.
class QuietMessages : public zarnet::Messages {
public:
    void error(const QString&) override { ++shown; }
    void information(const QString&) override { ++shown; }
    int shown = 0;
};

class NoDialogs : public zarnet::CanvasDialogs {
public:
    zarnet::FontChoice chooseFont(const zarnet::FontChoice& preset) override { return preset; }
    QString chooseFile(const QString&, const QString&, const QString&) override { return {}; }
};

class OnePort : public zarnet::PortCatalog {
public:
    explicit OnePort(QString path) : path_(std::move(path)) {}
    std::optional<QString> device(const QString& text) const override {
        if (text.trimmed() == u"1")
            return path_;
        return std::nullopt;
    }

private:
    QString path_;
};

// Looks every number up in the system's catalog, as the window does, but finds
// no device behind any of them: the scan's worst case.
class NoPorts : public zarnet::PortCatalog {
public:
    std::optional<QString> device(const QString& text) const override {
        system_.device(text);
        return u"/dev/zarnet-bench-none-"_s + text;
    }

private:
    zarnet::SystemPortCatalog system_;
};

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

void waitUntilExposed(QWidget& window) {
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// One start: from main() to the window shown, printed in milliseconds.
int startOnce(int argc, char* argv[]) {
    QApplication app(argc, argv);
    zarnet::QtSerialLink serial;
    zarnet::SystemPortCatalog ports;
    QuietMessages messages;
    NoDialogs dialogs;
    zarnet::MainForm form({serial, ports, messages, dialogs});
    form.load();
    form.show();
    waitUntilExposed(form);
    QTextStream(stdout) << sinceMain.nsecsElapsed() / 1e6 << Qt::endl;
    return 0;
}

int startup(int runs, const QString& self) {
    QList<double> inside, whole;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        QElapsedTimer timer;
        timer.start();
        child.start(self, {u"--once"_s});
        child.waitForFinished(30000);
        whole.append(timer.nsecsElapsed() / 1e6);
        inside.append(child.readAllStandardOutput().trimmed().toDouble());
    }
    QTextStream(stdout) << "start-up, median of " << runs << ": " << median(inside)
                        << " ms from main() to the window shown; " << median(whole)
                        << " ms for the whole process (launch to exit)" << Qt::endl;
    return 0;
}

int click(int runs, int argc, char* argv[]) {
    QApplication app(argc, argv);
    zarnet::PseudoTerminal line;
    zarnet::QtSerialLink serial;
    OnePort ports(line.slavePath());
    QuietMessages messages;
    NoDialogs dialogs;
    zarnet::MainForm form({serial, ports, messages, dialogs});
    form.load();
    form.findChild<QLineEdit*>(u"WText"_s)->setText(u"256"_s);
    form.findChild<QLineEdit*>(u"HText"_s)->setText(u"64"_s);
    auto* send = form.findChild<QPushButton*>(u"TxtSendCommand"_s);

    qsizetype arrived = 0;
    QSocketNotifier notifier(line.masterFd(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated,
                     [&] { arrived += line.readAvailable().size(); });
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        arrived = 0;
        QElapsedTimer timer;
        timer.start();
        send->click();
        while (arrived < 2064)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        times.append(timer.nsecsElapsed() / 1e6);
    }
    const double wire = 2064 * 10.0 / 115200.0 * 1e3;
    QTextStream(stdout) << "click to last byte of 2064, median of " << runs << ": " << median(times)
                        << " ms (the line itself takes " << wire << " ms; ratio "
                        << median(times) / wire << ")" << Qt::endl;
    return 0;
}

int scan(int runs, int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    zarnet::QtSerialLink serial;
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        const NoPorts ports; // a new catalog asks the system afresh, as at start-up
        QElapsedTimer timer;
        timer.start();
        if (zarnet::findUsablePort(serial, ports))
            return 1;
        times.append(timer.nsecsElapsed() / 1e6);
    }
    QTextStream(stdout) << "scan of 16 missing ports, median of " << runs << ": " << median(times)
                        << " ms" << Qt::endl;
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    sinceMain.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    zarnet::installSongSubstitutions();
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const int runs = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 20;
    if (mode == u"--once")
        return startOnce(argc, argv);
    if (mode == u"startup")
        return startup(runs, QString::fromLocal8Bit(argv[0]));
    if (mode == u"click")
        return click(runs, argc, argv);
    if (mode == u"scan")
        return scan(runs, argc, argv);
    QTextStream(stderr) << "usage: bench_window startup|click|scan [runs]" << Qt::endl;
    return 2;
}
