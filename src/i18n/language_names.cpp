#include "i18n/language_names.h"

#include <QLocale>
#include <QRegularExpression>

namespace i18n {
namespace {

/// The language QLocale knows by the English name @p name, if any.
std::optional<QLocale::Language> LanguageCalled(const QString& name) {
    for (int language = QLocale::AnyLanguage + 1; language <= QLocale::LastLanguage; ++language) {
        const auto known = static_cast<QLocale::Language>(language);
        if (QLocale::languageToString(known).compare(name, Qt::CaseInsensitive) == 0) return known;
    }
    return std::nullopt;
}

/// The language of @p locale ("de_DE.UTF-8", "pt_BR", "zh"), or nothing for C and POSIX.
std::optional<QLocale> LocaleOf(const QString& locale) {
    const QString name = locale.section(u'.', 0, 0).section(u'@', 0, 0);
    if (name.isEmpty() || name == u"C" || name == u"POSIX") return std::nullopt;
    const QLocale found(name);
    if (found.language() == QLocale::C) return std::nullopt;
    return found;
}

}  // namespace

LanguageNames NamesOf(const QString& file) {
    static const QRegularExpression encoding(QStringLiteral("_(unicode|utf-?8|utf-?16)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    LanguageNames names{file, QString(file).remove(encoding), {}};
    // "Chinese_Simplified" is Chinese; the first word names the language.
    if (const auto language = LanguageCalled(names.english.section(u'_', 0, 0)))
        names.own = QLocale(*language).nativeLanguageName();
    return names;
}

QString MenuNameOf(const QString& file) {
    const LanguageNames names = NamesOf(file);
    // English's own name is its English one; the locale would say "American English".
    if (names.own.isEmpty() ||
        names.english.section(u'_', 0, 0).compare(QStringLiteral("English"), Qt::CaseInsensitive) ==
            0)
        return names.english;
    return names.own.left(1).toUpper() + names.own.mid(1);
}

std::optional<QString> LanguageFileNamed(const QStringList& files, const QString& wanted) {
    const QString name = wanted.trimmed();
    for (const QString& file : files) {
        const LanguageNames names = NamesOf(file);
        for (const QString& known : {names.file, names.english, names.own})
            if (!known.isEmpty() && known.compare(name, Qt::CaseInsensitive) == 0) return file;
    }
    return std::nullopt;
}

std::optional<QString> LanguageFileForLocale(const QStringList& files) {
    QStringList wanted;
    const QString main = !qEnvironmentVariableIsEmpty("LC_ALL") ? qEnvironmentVariable("LC_ALL")
                         : !qEnvironmentVariableIsEmpty("LC_MESSAGES")
                             ? qEnvironmentVariable("LC_MESSAGES")
                             : qEnvironmentVariable("LANG");
    // LANGUAGE lists preferences, unless the locale is plain C or POSIX, as the C
    // library's own messages have it (C.UTF-8 takes them).
    if (main != u"C" && main != u"POSIX")
        wanted = qEnvironmentVariable("LANGUAGE").split(u':', Qt::SkipEmptyParts);
    wanted << main;
    for (const QString& entry : wanted) {
        const std::optional<QLocale> locale = LocaleOf(entry);
        if (!locale) continue;
        const QString english = QLocale::languageToString(locale->language());
        for (const QString& file : files) {
            const QString language = NamesOf(file).english.section(u'_', 0, 0);
            if (language.compare(english, Qt::CaseInsensitive) == 0) return file;
        }
    }
    return std::nullopt;
}

}  // namespace i18n
