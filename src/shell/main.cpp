#include "mainform.h"
#include "qtcanvasdialogs.h"
#include "qtmessages.h"
#include "singleinstance.h"
#include <link/quitsignals.h>

#include <canvas/songfont.h>
#include <language/language.h>
#include <link/portcatalog.h>
#include <link/qtseriallink.h>

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QScreen>
#include <cstdio>

namespace {

// What the command line asks for: nullopt to go on (with the language given, if
// any), else the exit code. Answered before any window system is needed, so
// --help works over ssh too. Qt's own options are left for QApplication.
std::optional<int> readOptions(int argc, char* argv[], std::optional<QString>& language) {
    CLI::App cli{"Zarnet: the operator's window for an LED dot-matrix sign controller on a\n"
                 "serial line (115200 baud, 8N1). It finds and opens the port, addresses a\n"
                 "controller by its device number, switches the sign, sets its clock, clears\n"
                 "it, tests the connection, composes and sends a 256 x 64 image, and writes\n"
                 "and reads units. Only one copy runs at a time; a second one ends at once.",
                 "zarnet"};
    cli.allow_extras();
    cli.set_help_flag("-h,--help", "print this text and exit");
    cli.set_version_flag("--version", std::string("zarnet " ZARNET_VERSION),
                         "print the version and exit");
    std::string lang;
    CLI::Option* option =
        cli.add_option("--lang", lang,
                       "the window's language: zh (Chinese) or en (English); without it, the "
                       "first of the user's interface languages (LANGUAGE, LC_ALL, LC_MESSAGES, "
                       "LANG) that is one of the two, else zh")
            ->option_text("LANG")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    cli.footer("Qt's own options (-platform NAME, -style NAME, ...) are accepted as well.");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::Success& e) { // --help or --version
        return cli.exit(e);
    } catch (const CLI::ParseError&) { // --lang is the only option that can fail
        std::fputs("zarnet: --lang takes zh or en\n", stderr);
        return 2;
    }
    if (option->count() > 0)
        language = QString::fromLocal8Bit(lang.c_str());
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[]) {
    std::optional<QString> languageOption;
    try {
        if (const auto code = readOptions(argc, argv, languageOption))
            return *code;
    } catch (const CLI::Error& e) { // the options themselves are at fault
        std::fprintf(stderr, "zarnet: %s\n", e.what());
        return 2;
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
