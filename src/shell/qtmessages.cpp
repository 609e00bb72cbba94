#include "qtmessages.h"

#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace zarnet {

namespace {

void show(QWidget* window, QMessageBox::Icon icon, const QString& text) {
    QWidget* parent = window && window->isVisible() ? window : nullptr;
    QMessageBox box(icon, u"Zarnet"_s, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace

void QtMessages::error(const QString& text) {
    show(window_, QMessageBox::NoIcon, text);
}

void QtMessages::information(const QString& text) {
    show(window_, QMessageBox::Information, text);
}

} // namespace zarnet
