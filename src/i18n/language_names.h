#pragma once

// Which language a language file stands for, by the names people use: its
// English name, its own name, or a locale such as de_DE.UTF-8.

#include <QString>
#include <QStringList>
#include <optional>

namespace i18n {

/// What a language file's name says of its language.
struct LanguageNames {
    QString file;     // the file's name without ".ini": "Russian_utf-8"
    QString english;  // without the encoding: "Russian"
    QString own;      // in the language itself: "русский"; empty when not known
};

/// The names of the language file @p file (its name without ".ini").
LanguageNames NamesOf(const QString& file);

/// What the Language menu calls @p file: the language's own name, as its
/// speakers write it at the start of a line ("日本語", "Русский"), else its
/// English name without the encoding ("Japanese" of "Japanese_unicode").
QString MenuNameOf(const QString& file);

/// The file among @p files that @p wanted names, as a file name, an English
/// or an own name, in any case; nothing when none does.
std::optional<QString> LanguageFileNamed(const QStringList& files, const QString& wanted);

/// The file among @p files for the user's locale, as the environment states
/// it: LANGUAGE's list first (unless the locale is C), then LC_ALL,
/// LC_MESSAGES and LANG; nothing when none matches.
std::optional<QString> LanguageFileForLocale(const QStringList& files);

}  // namespace i18n
