#include "testplatform.h"

#include <canvas/songfont.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace zarnet::test {

void RecordingMessages::error(const QString& text) {
    errors.append(text);
    open();
}

void RecordingMessages::information(const QString& text) {
    informations.append(text);
    open();
}

void RecordingMessages::open() {
    mostOpen = qMax(mostOpen, ++open_);
    if (whileOpen)
        whileOpen();
    --open_;
}

FontChoice ScriptedDialogs::chooseFont(const FontChoice& preset) {
    lastPreset = preset;
    return font.value_or(preset);
}

QString ScriptedDialogs::chooseFile(const QString& initialDir, const QString& filter,
                                    const QString& lastFile) {
    lastFileOffered = lastFile;
    lastInitialDir = initialDir;
    lastFilter = filter;
    return file;
}

std::optional<QString> MapCatalog::device(const QString& portText) const {
    if (ports.contains(portText.trimmed()))
        return ports.value(portText.trimmed());
    if (portText.startsWith(u'/') || portText.contains(u"://"))
        return portText;
    return std::nullopt;
}

FormFixture::FormFixture() {
    installSongSubstitutions(); // as the program does at start-up
}

FormFixture::~FormFixture() {
    form.reset();
}

MainForm& FormFixture::start(const QString& port1) {
    if (!port1.isEmpty())
        catalog.ports[QStringLiteral("1")] = port1;
    form = std::make_unique<MainForm>(
        Platform{serial, catalog, messages, dialogs, [this] { return now; }});
    form->load();
    form->show();
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form.get()))
        qWarning("the window did not become active");
    return *form;
}

void FormFixture::click(QPushButton* button) {
    button->setFocus(Qt::MouseFocusReason);
    button->click();
}

void FormFixture::enter(QLineEdit* edit, const QString& text) {
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
    c().control.exit->setFocus(Qt::TabFocusReason);
}

} // namespace zarnet::test
