#include "language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QLoggingCategory>
#include <QTranslator>

using namespace Qt::StringLiterals;

// zarnet.window: the windows' language, and why.
Q_LOGGING_CATEGORY(lcWindow, "zarnet.window", QtWarningMsg)

namespace zarnet {

Language preferredLanguage(const QStringList& uiLanguages) {
    for (const QString& tag : uiLanguages) {
        // "en-GB", "zh-Hans-CN", and the "en_US" some systems still give.
        const QString language = tag.section(u'-', 0, 0).section(u'_', 0, 0).toLower();
        if (language == u"zh")
            return Language::Chinese;
        if (language == u"en")
            return Language::English;
    }
    return Language::Chinese;
}

std::optional<Language> languageNamed(const QString& name) {
    if (name == u"zh")
        return Language::Chinese;
    if (name == u"en")
        return Language::English;
    return std::nullopt;
}

namespace {

bool installEnglish(QTranslator& english) {
    if (english.isEmpty() && !english.load(u":/i18n/zarnet_en.qm"_s))
        return false;
    return QCoreApplication::installTranslator(&english);
}

} // namespace

bool useLanguage(Language language) {
    static QTranslator english;
    QCoreApplication::removeTranslator(&english);
    if (language == Language::English && !installEnglish(english)) {
        qCWarning(lcWindow) << "the English texts cannot be loaded: the window stays Chinese";
        return false;
    }
    qCInfo(lcWindow) << "window texts:" << (language == Language::English ? "English" : "Chinese");
    return true;
}

std::optional<Language> chooseLanguage(const std::optional<QString>& option, QString* fault) {
    if (!option) {
        const QStringList wanted = QLocale::system().uiLanguages();
        qCInfo(lcWindow).noquote() << "interface languages:" << wanted.join(u", ");
        return preferredLanguage(wanted);
    }
    qCInfo(lcWindow).noquote() << "--lang" << *option;
    const auto language = languageNamed(*option);
    if (!language && fault)
        *fault = u"--lang takes zh or en, not \"%1\""_s.arg(*option);
    return language;
}

} // namespace zarnet
