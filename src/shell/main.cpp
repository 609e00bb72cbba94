#include "mainform.h"
#include "qtcanvasdialogs.h"
#include "qtmessages.h"
#include "singleinstance.h"
#include <link/quitsignals.h>

#include <canvas/songfont.h>
#include <language/language.h>
#include <link/portcatalog.h>
#include <link/qtseriallink.h>

#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <cstring>

namespace {

// Answered before any window system is needed, so it works over ssh too.
constexpr char helpText[] =
    "Usage: zarnet [--lang zh|en] [Qt options]\n"
    "\n"
    "Zarnet: the operator's window for an LED dot-matrix sign controller on a serial\n"
    "line (115200 baud, 8N1). It finds and opens the port, addresses a controller by\n"
    "its device number, switches the sign, sets its clock, clears it, tests the\n"
    "connection, composes and sends a 256 x 64 image, and writes and reads units.\n"
    "Only one copy runs at a time; a second one ends at once.\n"
    "\n"
    "Options:\n"
    "  --lang LANG    the window's language: zh (Chinese) or en (English); without\n"
    "                 it, the first of the user's interface languages (LANGUAGE,\n"
    "                 LC_ALL, LC_MESSAGES, LANG) that is one of the two, else zh\n"
    "  -h, --help     print this text and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are accepted as well.\n";

} // namespace

int main(int argc, char* argv[]) {
    std::optional<QString> languageOption;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--lang") == 0 || std::strncmp(argv[i], "--lang=", 7) == 0) {
            if (argv[i][6] == '=') {
                languageOption = QString::fromLocal8Bit(argv[i] + 7);
            } else if (i + 1 < argc) {
                languageOption = QString::fromLocal8Bit(argv[++i]);
            } else {
                std::fputs("zarnet: --lang takes zh or en\n", stderr);
                return 2;
            }
            continue;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(helpText, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("zarnet " ZARNET_VERSION);
            return 0;
        }
    }
    QString languageFault;
    const auto language = zarnet::chooseLanguage(languageOption, &languageFault);
    if (!language) {
        std::fprintf(stderr, "zarnet: %s\n", qPrintable(languageFault));
        return 2;
    }
    QApplication app(argc, argv);
    zarnet::useLanguage(*language); // says so in the log when it cannot
    zarnet::SingleInstance instance;
    switch (instance.acquire()) {
    case zarnet::SingleInstance::Result::Acquired:
        break;
    case zarnet::SingleInstance::Result::HeldByAnother:
        return 0; // a copy runs already: this one ends without a word
    case zarnet::SingleInstance::Result::Unavailable:
        // Not knowing whether another copy runs is no reason to refuse the operator.
        std::fprintf(stderr, "zarnet: starting without the single-instance lock: %s\n",
                     qPrintable(instance.errorString()));
        break;
    }
    zarnet::installSongSubstitutions();

    zarnet::QtSerialLink serial;
    zarnet::SystemPortCatalog ports;
    zarnet::QtMessages messages;
    zarnet::QtCanvasDialogs dialogs;
    zarnet::MainForm form({serial, ports, messages, dialogs});
    messages.setWindow(&form);
    dialogs.setWindow(&form);

    // Asked to end while loading, the program stops before the window is shown.
    bool quitting = false;
    zarnet::onTerminationRequest([&] {
        quitting = true;
        form.close();
        QCoreApplication::exit(0); // also ends a message box that is open
    });

    // The scan's messages come before the window does.
    form.load();
    if (quitting)
        return 0;
    const QRect screen = form.screen()->geometry();
    form.move(screen.x() + (screen.width() - form.width()) / 2,
              screen.y() + (screen.height() - form.height()) / 2);
    form.show();
    return app.exec();
}
