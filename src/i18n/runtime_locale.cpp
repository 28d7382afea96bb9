#include "i18n/runtime_locale.h"

#include <QStringList>
#include <array>
#include <clocale>
#include <utility>

#include "i18n/language_tables.h"

namespace i18n {

namespace {

// ISO 639 codes of the platform's primary language ids.
constexpr auto kPrimaryLanguages = std::to_array<std::pair<uint16_t, const char*>>({
    {0x01, "ar"},  {0x02, "bg"},  {0x03, "ca"},  {0x04, "zh"},  {0x05, "cs"},  {0x06, "da"},
    {0x07, "de"},  {0x08, "el"},  {0x09, "en"},  {0x0A, "es"},  {0x0B, "fi"},  {0x0C, "fr"},
    {0x0D, "he"},  {0x0E, "hu"},  {0x0F, "is"},  {0x10, "it"},  {0x11, "ja"},  {0x12, "ko"},
    {0x13, "nl"},  {0x14, "nb"},  {0x15, "pl"},  {0x16, "pt"},  {0x17, "rm"},  {0x18, "ro"},
    {0x19, "ru"},  {0x1A, "hr"},  {0x1B, "sk"},  {0x1C, "sq"},  {0x1D, "sv"},  {0x1E, "th"},
    {0x1F, "tr"},  {0x20, "ur"},  {0x21, "id"},  {0x22, "uk"},  {0x23, "be"},  {0x24, "sl"},
    {0x25, "et"},  {0x26, "lv"},  {0x27, "lt"},  {0x28, "tg"},  {0x29, "fa"},  {0x2A, "vi"},
    {0x2B, "hy"},  {0x2C, "az"},  {0x2D, "eu"},  {0x2E, "hsb"}, {0x2F, "mk"},  {0x32, "tn"},
    {0x34, "xh"},  {0x35, "zu"},  {0x36, "af"},  {0x37, "ka"},  {0x38, "fo"},  {0x39, "hi"},
    {0x3A, "mt"},  {0x3B, "se"},  {0x3C, "ga"},  {0x3E, "ms"},  {0x3F, "kk"},  {0x40, "ky"},
    {0x41, "sw"},  {0x42, "tk"},  {0x43, "uz"},  {0x44, "tt"},  {0x45, "bn"},  {0x46, "pa"},
    {0x47, "gu"},  {0x48, "or"},  {0x49, "ta"},  {0x4A, "te"},  {0x4B, "kn"},  {0x4C, "ml"},
    {0x4D, "as"},  {0x4E, "mr"},  {0x4F, "sa"},  {0x50, "mn"},  {0x51, "bo"},  {0x52, "cy"},
    {0x53, "km"},  {0x54, "lo"},  {0x56, "gl"},  {0x57, "kok"}, {0x5A, "syr"}, {0x5B, "si"},
    {0x5D, "iu"},  {0x5E, "am"},  {0x5F, "tzm"}, {0x61, "ne"},  {0x62, "fy"},  {0x63, "ps"},
    {0x64, "fil"}, {0x65, "dv"},  {0x68, "ha"},  {0x6A, "yo"},  {0x6B, "qu"},  {0x6C, "nso"},
    {0x6D, "ba"},  {0x6E, "lb"},  {0x6F, "kl"},  {0x70, "ig"},  {0x78, "ii"},  {0x7A, "arn"},
    {0x7C, "moh"}, {0x7E, "br"},  {0x80, "ug"},  {0x81, "mi"},  {0x82, "oc"},  {0x83, "co"},
    {0x84, "gsw"}, {0x85, "sah"}, {0x86, "quc"}, {0x87, "rw"},  {0x88, "wo"},  {0x8C, "fa"},
});

// Identifiers whose language differs from their primary language's.
constexpr auto kSpecificLanguages = std::to_array<std::pair<uint16_t, const char*>>({
    {0x081A, "sr"},
    {0x0C1A, "sr"},
    {0x181A, "sr"},
    {0x1C1A, "sr"},
    {0x7C1A, "sr"},
    {0x141A, "bs"},
    {0x201A, "bs"},
    {0x0814, "nn"},
    {0x082E, "dsb"},
    {0x103B, "smj"},
    {0x143B, "smj"},
    {0x183B, "sma"},
    {0x1C3B, "sma"},
    {0x203B, "sms"},
    {0x243B, "smn"},
});

QString LanguageCode(uint16_t languageId) {
    for (const auto& [id, code] : kSpecificLanguages) {
        if (id == languageId) return QString::fromLatin1(code);
    }
    for (const auto& [primary, code] : kPrimaryLanguages) {
        if (primary == (languageId & 0x3FF)) return QString::fromLatin1(code);
    }
    return {};
}

/// The territory a locale name such as "Serbian_Latin_Serbia" ends with,
/// matched against Qt's English territory names; AnyTerritory if none.
QLocale::Territory TerritoryOf(QStringView localeName, QLocale::Script* script) {
    QStringList words = localeName.toString().split(u'_');
    words.removeFirst();  // the language
    for (; !words.isEmpty(); words.removeFirst()) {
        if (words.front() == u"Latin") *script = QLocale::LatinScript;
        if (words.front() == u"Cyrillic") *script = QLocale::CyrillicScript;
        const QString candidate = words.join(u' ');
        for (int t = QLocale::AnyTerritory + 1; t <= QLocale::LastTerritory; ++t) {
            const auto territory = static_cast<QLocale::Territory>(t);
            if (QLocale::territoryToString(territory).compare(candidate, Qt::CaseInsensitive) == 0)
                return territory;
        }
    }
    return QLocale::AnyTerritory;
}

bool TrySetLocale(const QString& name) {
    return std::setlocale(LC_ALL, name.toLatin1().constData()) != nullptr;
}

}  // namespace

QLocale LocaleForLanguageId(uint16_t languageId) {
    const QString code = LanguageCode(languageId);
    if (code.isEmpty()) return QLocale::system();
    const QLocale::Language language = QLocale::codeToLanguage(code);
    if (language == QLocale::AnyLanguage) return QLocale::system();
    QLocale::Script script = QLocale::AnyScript;
    QLocale::Territory territory = QLocale::AnyTerritory;
    for (const auto& entry : g_LocaleTable) {
        if (entry.languageId == languageId) {
            territory = TerritoryOf(QStringView(entry.name), &script);
            break;
        }
    }
    return QLocale(language, script, territory);
}

QString ApplyRuntimeLocale(uint16_t languageId) {
    bool set = false;
    if (languageId != 0) {
        const QLocale locale = LocaleForLanguageId(languageId);
        QLocale::setDefault(locale);
        const QString exact = locale.name();
        const QString general = QLocale(locale.language()).name();
        for (const QString& base : {exact, general}) {
            for (const char* suffix : {".UTF-8", ".utf8", ""}) {
                if (!set && TrySetLocale(base + QString::fromLatin1(suffix))) set = true;
            }
        }
    } else {
        QLocale::setDefault(QLocale::system());
    }
    if (!set) std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");  // numbers keep the English form
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    return QString::fromLatin1(current ? current : "");
}

}  // namespace i18n
