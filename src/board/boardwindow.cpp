#include "boardwindow.h"

#include "boardline.h"
#include <canvas/panelimage.h>
#include <core/board.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace zarnet {

namespace {

constexpr int Pitch = 4; // pixels from one LED to the next

class LedPanel : public QWidget {
public:
    explicit LedPanel(const Board& board, QWidget* parent) : QWidget(parent), board_(board) {
        setFixedSize(board.panelSize() * Pitch + QSize(2 * Pitch, 2 * Pitch));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintLeds(painter, renderPanel(board_, QDateTime::currentDateTime()), Pitch);
    }

private:
    const Board& board_;
};

} // namespace

BoardWindow::BoardWindow(Board& board, BoardLine& line, const QString& where, QWidget* parent)
    : QWidget(parent), board_(board) {
    setWindowTitle(u"zarnet-board — %1"_s.arg(where));
    panel_ = new LedPanel(board, this);
    panel_->setAccessibleName(tr("点阵屏"));
    status_ = new QLabel(this);
    status_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    status_->setMinimumWidth(220);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    log_ = new QPlainTextEdit(this);
    log_->setReadOnly(true);
    log_->setAccessibleName(tr("线路记录"));
    log_->setMaximumBlockCount(2000);
    log_->setFont(QFont(u"Monospace"_s, 8));

    auto* top = new QHBoxLayout;
    top->addWidget(panel_);
    top->addWidget(status_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(log_, 1);
    resize(width(), 520);

    connect(&line, &BoardLine::logged, log_, &QPlainTextEdit::appendPlainText);
    connect(&line, &BoardLine::changed, this, &BoardWindow::refresh);
    auto* tick = new QTimer(this); // the clock and the schedule move on by themselves
    connect(tick, &QTimer::timeout, this, &BoardWindow::refresh);
    tick->start(1000);
    refresh();
}

void BoardWindow::refresh() {
    const QDateTime now = QDateTime::currentDateTime();
    QString text = tr("<b>设备 %1</b><br>时钟 %2<br>%3<br><br>")
                       .arg(board_.device())
                       .arg(board_.clock(now).toString(u"yyyy-MM-dd hh:mm:ss"_s),
                            board_.powered() ? tr("开机") : tr("关机"));
    if (board_.units().isEmpty())
        text += tr("单元：无");
    for (auto it = board_.units().begin(); it != board_.units().end(); ++it)
        text += tr("单元 %1 = %2<br>").arg(it.key()).arg(it.value());
    status_->setText(text);
    panel_->update();
}

} // namespace zarnet
