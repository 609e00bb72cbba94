#pragma once

#include <dots/dialogs.h>
#include <link/portcatalog.h>
#include <link/qtseriallink.h>
#include <shell/mainform.h>
#include <ui/messages.h>

#include <QDateTime>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QStringList>
#include <functional>
#include <memory>

namespace zarnet::test {

// Records the boxes the window would show, and which icon each would carry.
class RecordingMessages : public Messages {
public:
    void error(const QString& text) override;
    void information(const QString& text) override;

    QStringList errors;
    QStringList informations;
    // Runs while a box would be open, before the handler goes on.
    std::function<void()> whileOpen;
    // The most boxes that were open at once: a box opened by a handler that ran
    // inside another box's event loop makes it 2.
    int mostOpen = 0;

private:
    void open();
    int open_ = 0;
};

// Answers the dialogs as a test tells it to.
class ScriptedDialogs : public CanvasDialogs {
public:
    FontChoice chooseFont(const FontChoice& preset) override;
    QString chooseFile(const QString& initialDir, const QString& filter,
                       const QString& lastFile) override;

    std::optional<FontChoice> font; // nullopt: the operator cancels
    QString file;                   // empty: the operator cancels
    FontChoice lastPreset;
    QString lastInitialDir;
    QString lastFilter;
    QString lastFileOffered; // the file the dialog was told to open on
};

// Port numbers mapped to devices by the test; any other number is no such port.
class MapCatalog : public PortCatalog {
public:
    std::optional<QString> device(const QString& portText) const override;
    QMap<QString, QString> ports;
};

// A window on a real QtSerialLink, with the seams above.
struct FormFixture {
    FormFixture();
    ~FormFixture();
    // Builds and loads the window, then shows it and makes it active. A device
    // path given here is port 1, which the scan then opens.
    MainForm& start(const QString& port1 = {});

    QtSerialLink serial;
    MapCatalog catalog;
    RecordingMessages messages;
    ScriptedDialogs dialogs;
    QDateTime now = QDateTime(QDate(2026, 12, 5), QTime(20, 18, 51));
    std::unique_ptr<MainForm> form;

    // The window's controls, once it is built.
    const MainFormControls& c() const { return form->controls(); }

    // Layout parts that no control group holds, by name.
    template <typename T> T* find(const QString& name) { return form->findChild<T*>(name); }
    void click(QPushButton* button);
    // Types into a field and moves the focus away, as the operator does.
    void enter(QLineEdit* field, const QString& text);
};

// A control named in a test table: how to reach it through the control groups,
// since each row gets a window of its own after the table is made.
using EditOf = QLineEdit* (*)(const MainFormControls&);
using ButtonOf = QPushButton* (*)(const MainFormControls&);

// The fields and buttons the tables name.
namespace reach {
inline const EditOf downloadStart = [](const MainFormControls& c) { return c.download.startUnit; };
inline const EditOf downloadCount = [](const MainFormControls& c) { return c.download.unitCount; };
inline const EditOf firstValue = [](const MainFormControls& c) { return c.download.values[0]; };
inline const EditOf readStart = [](const MainFormControls& c) { return c.readBack.startUnit; };
inline const EditOf readCount = [](const MainFormControls& c) { return c.readBack.unitCount; };
inline const EditOf xStart = [](const MainFormControls& c) { return c.dots.xStart; };
inline const EditOf yStart = [](const MainFormControls& c) { return c.dots.yStart; };
inline const EditOf width = [](const MainFormControls& c) { return c.dots.width; };
inline const EditOf height = [](const MainFormControls& c) { return c.dots.height; };
inline const EditOf scheduleStart = [](const MainFormControls& c) { return c.dots.scheduleStart; };
inline const EditOf scheduleEnd = [](const MainFormControls& c) { return c.dots.scheduleEnd; };
inline const ButtonOf showNow = [](const MainFormControls& c) { return c.download.showNow; };
inline const ButtonOf showFixed = [](const MainFormControls& c) { return c.download.showFixed; };
inline const ButtonOf getData = [](const MainFormControls& c) { return c.readBack.getData; };
inline const ButtonOf sendImage = [](const MainFormControls& c) { return c.dots.sendImage; };
} // namespace reach

} // namespace zarnet::test

Q_DECLARE_METATYPE(zarnet::test::EditOf)
Q_DECLARE_METATYPE(zarnet::test::ButtonOf)
