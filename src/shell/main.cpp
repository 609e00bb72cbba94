#include "mainform.h"
#include "qtcanvasdialogs.h"
#include "qtmessages.h"
#include "singleinstance.h"
#include <link/quitsignals.h>

#include <canvas/songfont.h>
#include <link/portcatalog.h>
#include <link/qtseriallink.h>

#include <QApplication>
#include <QScreen>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
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
