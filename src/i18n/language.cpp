#include "i18n/language.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "host/base_folder.h"
#include "i18n/code_page.h"
#include "i18n/ini_file.h"
#include "i18n/language_tables.h"
#include "i18n/runtime_locale.h"
#include "resources/resource.h"
#include "resources/texts.h"
#include "settings/store.h"
#include "settings/stored_font.h"

namespace i18n {

using host::PathSeparator;

namespace {

const QString kEnglish = QStringLiteral("english");
const QString kUtf8Suffix = QStringLiteral("_utf-8");
const QString kUtf16Suffix = QStringLiteral("_unicode");
const QString kIniExtension = QStringLiteral(".ini");
// Interface font heights, in pixels, that still show the window's texts.
constexpr int32_t kMinInterfaceFontHeight = 6;
constexpr int32_t kMaxInterfaceFontHeight = 96;
// The caption list of the popup menu resource is fixed, never translated.
const QString kPopupMenuCaption = QStringLiteral("PopupMenu1");

bool IsMenuKey(QStringView key) {
    return key.startsWith(u"IDM") || key.startsWith(u"IDR");
}

QString FindText(const std::vector<LanguageText>& texts, int id) {
    const auto it = std::find_if(texts.begin(), texts.end(),
                                 [id](const LanguageText& entry) { return entry.id == id; });
    return it == texts.end() ? QString() : it->text;
}

}  // namespace

// Defined after the constants above, which its construction uses.
Language g_Language;

QString ExpandEscapes(QString text) {
    text.replace(QStringLiteral("\\t"), QStringLiteral("\t"));
    text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    text.replace(QStringLiteral("\\r"), QStringLiteral("\r"));
    return text;
}

Language::Language() : m_currentLanguage(kEnglish) {}
Language::~Language() = default;

void Language::Initialize(const QString& baseFolder, const QString& name) {
    m_baseFolder = baseFolder;
    m_languages.clear();
    FindLanguageFiles();
    SelectLanguage(name);
}

void Language::FindLanguageFiles() {
    const QDir folder(m_baseFolder + PathSeparator() + QStringLiteral("language"));
    const QStringList files =
        folder.entryList({QStringLiteral("*") + kIniExtension}, QDir::Files | QDir::Readable);
    for (const QString& file : files) {
        if (file.endsWith(kIniExtension)) m_languages << file.chopped(kIniExtension.size());
    }
    // Ordinal order of UTF-16 units: capitals before small letters.
    std::sort(m_languages.begin(), m_languages.end(),
              [](const QString& a, const QString& b) { return QStringView(a) < QStringView(b); });
}

QString Language::GetLanguageName(int index) const {
    return index >= 0 && index < m_languages.size() ? m_languages[index] : QString();
}

void Language::SelectLanguage(const QString& name) {
    m_menuTexts.clear();
    m_texts.clear();
    m_dialogTexts.clear();
    m_currentLanguage = kEnglish;
    for (const QString& installed : m_languages) {
        if (installed.compare(name, Qt::CaseInsensitive) == 0) {
            m_currentLanguage = name;
            break;
        }
    }
    LoadLanguageFile(name);
    // The program's language is also what its reasons are said in, wherever they arise.
    if (this == &g_Language) {
        std::vector<QString> words;
        for (int i = 0; i < res::kTextCount; ++i) words.push_back(GetString(res::Text(i)));
        res::SpeakWith(std::move(words));
    }
}

LanguageEncoding Language::DetectEncoding(const QString& name) {
    const QString lower = name.toLower();
    if (lower.contains(kUtf8Suffix)) return ENCODING_UTF8;
    if (lower.contains(kUtf16Suffix)) return ENCODING_UTF16;
    return ENCODING_ANSI;
}

std::optional<QString> Language::ResolveLocale(const QString& name) {
    QString part = name.toLower();
    if (m_encoding == ENCODING_UTF8) part.chop(kUtf8Suffix.size());
    if (m_encoding == ENCODING_UTF16) part.chop(kUtf16Suffix.size());

    const auto codePageFor = [this](int ansiCodePage) {
        if (m_encoding == ENCODING_UTF8) return kCodePageUtf8;
        if (m_encoding == ENCODING_UTF16) return 1252;
        return ansiCodePage;
    };
    if (part == kEnglish) {
        m_primaryLanguage = 9;
        m_subLanguage = 1;
        m_codePage = codePageFor(1252);
        return kEnglish;
    }
    for (const LocaleEntry& entry : g_LocaleTable) {
        const QString rowName = QString::fromUtf16(entry.name).toLower();
        const QString abbreviation = QString::fromUtf16(entry.abbreviation).toLower();
        if (rowName == part || abbreviation == part) {
            m_primaryLanguage = entry.languageId & 0x3FF;
            m_subLanguage = entry.languageId >> 10;
            m_codePage = codePageFor(entry.codePage);
            return abbreviation;
        }
    }
    Warn(QStringLiteral("Your language file name may be not proper,\n please read the help file!"),
         part);
    return std::nullopt;
}

QString Language::LanguageFilePath(const QString& name) const {
    // A language is a file in the language folder, never one elsewhere.
    if (name.isEmpty() || name.startsWith(u'.') || name.contains(u'/') || name.contains(u'\\') ||
        name.contains(u':'))
        return {};
    const QString folder =
        m_baseFolder + PathSeparator() + QStringLiteral("language") + PathSeparator();
    const QString exact = folder + name + kIniExtension;
    if (QFileInfo::exists(exact)) return exact;
    // Names match without regard to case, also on file systems that see case.
    for (const QString& installed : m_languages) {
        if (installed.compare(name, Qt::CaseInsensitive) == 0)
            return folder + installed + kIniExtension;
    }
    return exact;
}

void Language::LoadLanguageFile(const QString& name) {
    m_encoding = DetectEncoding(name);
    const std::optional<QString> locale = ResolveLocale(name);
    m_languageFile = LanguageFilePath(name);

    // Byte files decode with the language's code page; when the name told no
    // locale, with the system's, as the file reader would.
    const int codePage = locale ? m_codePage : kCodePageSystem;
    const IniFile file = IniFile::Read(m_languageFile, [codePage](QByteArrayView bytes) {
        return DecodeCodePage(bytes, codePage);
    });

    for (const LanguageKey& row : g_LanguageKeys) {
        const QString key = QString::fromUtf16(row.key);
        const bool menu = IsMenuKey(key);
        const QString text =
            key == u"IDR_MENU_LANGUAGE_POPUP"
                ? kPopupMenuCaption
                : ExpandEscapes(
                      file.value(menu ? QStringLiteral("MENU") : QStringLiteral("DIALOG"), key)
                          .value_or(QString()));
        (menu ? m_menuTexts : m_dialogTexts).push_back({row.id, text});
    }
    for (const res::TextEntry& entry : res::Texts()) {
        if (!entry.fileKey) continue;
        const QString text =
            ExpandEscapes(file.value(QStringLiteral("STRING"), QString::fromUtf16(entry.fileKey))
                              .value_or(QString()));
        if (!text.isEmpty()) m_texts.emplace_back(entry.text, text);
    }

    ApplyRuntimeLocale(locale ? GetLanguageId() : 0);
    CreateUIFont();
}

void Language::CreateUIFont() {
    const settings::FontDefaults defaults{-11, 400, QStringLiteral("Microsoft Sans Serif")};
    QFont font(defaults.face);
    font.setPixelSize(-defaults.height);
    font.setWeight(static_cast<QFont::Weight>(defaults.weight));
    if (m_store) font = settings::ReadFont(*m_store, m_currentLanguage, defaults);
    // A stored height no one could read the window with (a hand-edited store)
    // gives the designed one.
    const int pixels = font.pixelSize();
    if (pixels > 0 && (pixels < kMinInterfaceFontHeight || pixels > kMaxInterfaceFontHeight))
        font.setPixelSize(-defaults.height);
    m_uiFont = font;
}

void Language::SetUIFont(const QFont& font) {
    // Described as it resolved, so only a font that exists is kept and stored.
    m_uiFont = settings::ResolvedFont(font);
    if (m_store) settings::WriteFont(*m_store, m_currentLanguage, *m_uiFont);
}

QString Language::GetString(res::Text text) const {
    for (const auto& [loaded, words] : m_texts)
        if (loaded == text) return words;
    return res::EnglishText(text);
}

QString Language::GetMenuText(int id) const {
    return FindText(m_menuTexts, id);
}

QString Language::GetDialogText(int id) const {
    return FindText(m_dialogTexts, id);
}

QString Language::GetTopLevelCaption(int menuId, int position) const {
    const QString value = GetMenuText(menuId);
    const QStringList pieces = value.split(u',');
    return position >= 0 && position < pieces.size() ? pieces[position] : value;
}

void Language::Warn(const QString& text, const QString& caption) const {
    if (m_warn) m_warn(text, caption);
}

}  // namespace i18n
