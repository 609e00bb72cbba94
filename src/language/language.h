#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace zarnet {

// The languages the windows speak. Chinese is the source language of every
// text; English comes from the embedded translation.
enum class Language { Chinese, English };

// The first of the user's interface languages (QLocale::uiLanguages(), most
// wanted first) that is Chinese or English; Chinese when neither is named.
Language preferredLanguage(const QStringList& uiLanguages);

// "zh" or "en", as given to --lang; nullopt for anything else.
std::optional<Language> languageNamed(const QString& name);

// Shows the windows' texts in `language` from here on: English installs the
// embedded translation, Chinese removes it. False when the translation cannot
// be loaded, which leaves the texts Chinese.
bool useLanguage(Language language);

// The --lang value, or the user's interface languages without one. The message
// of a value that names no language goes into `fault`.
std::optional<Language> chooseLanguage(const std::optional<QString>& option, QString* fault);

} // namespace zarnet
