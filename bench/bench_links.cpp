// Times zarnet-cli against zarnet-board: a full scan of a line with three
// controllers behind a serial device server, and one units write over TCP
// against the same over a pseudo-terminal (median of runs).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTextStream>
#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Starts a board and gives the link address it prints.
QString startBoard(QProcess& board, const QStringList& arguments) {
    board.start(QStringLiteral(ZARNET_BOARD), arguments + QStringList{u"--headless"_s});
    QString said;
    while (board.waitForReadyRead(5000)) {
        said += QString::fromUtf8(board.readAllStandardOutput());
        const qsizetype at = said.indexOf(u"listening on "_s);
        if (at >= 0 && said.indexOf(u'\n', at) > 0)
            return said.mid(at + 13).section(u'\n', 0, 0).trimmed();
    }
    return {};
}

double runMs(const QStringList& arguments) {
    QElapsedTimer timer;
    timer.start();
    QProcess cli;
    cli.start(QStringLiteral(ZARNET_CLI), arguments);
    cli.waitForFinished(60000);
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20;
    QTextStream out(stdout);
    QProcess tcpBoard;
    QProcess ptyBoard;
    const QString tcp =
        startBoard(tcpBoard, {u"--listen"_s, u"tcp://127.0.0.1:0"_s, u"--device"_s, u"1,5,9"_s});
    const QString pty = startBoard(ptyBoard, {u"--device"_s, u"5"_s});
    if (tcp.isEmpty() || pty.isEmpty()) {
        out << "the boards did not start" << Qt::endl;
        return 1;
    }
    out << "full scan 0..255, 3 controllers, TCP: " << runMs({u"--port"_s, tcp, u"scan"_s}) << " ms"
        << Qt::endl;
    for (const QString& port : {tcp, pty}) {
        QList<double> times;
        for (int i = 0; i < runs; ++i)
            times.append(runMs({u"--port"_s, port, u"--device"_s, u"5"_s, u"units"_s, u"write"_s,
                                u"0"_s, u"1520"_s, u"1498"_s, u"3"_s, u"97"_s}));
        out << "units write, " << (port == tcp ? "TCP" : "pseudo-terminal") << ", median of "
            << runs << ": " << median(times) << " ms" << Qt::endl;
    }
    tcpBoard.kill();
    ptyBoard.kill();
    tcpBoard.waitForFinished();
    ptyBoard.waitForFinished();
    return 0;
}
