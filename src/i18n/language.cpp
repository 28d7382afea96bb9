#include "i18n/language.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "app/base_folder.h"
#include "app/settings_store.h"
#include "i18n/code_page.h"
#include "i18n/ini_file.h"
#include "i18n/language_tables.h"
#include "i18n/runtime_locale.h"
#include "resources/resource.h"
#include "resources/string_table.h"
#include "ui/platform_services.h"

namespace {

const QString kEnglish = QStringLiteral("english");
const QString kUtf8Suffix = QStringLiteral("_utf-8");
const QString kUtf16Suffix = QStringLiteral("_unicode");
const QString kIniExtension = QStringLiteral(".ini");
// The caption list of the popup menu resource is fixed, never translated.
const QString kPopupMenuCaption = QStringLiteral("PopupMenu1");

enum class Section { Dialog, Menu, String };

Section SectionOf(QStringView key) {
    if (key.startsWith(u"IDS")) return Section::String;
    if (key.startsWith(u"IDM") || key.startsWith(u"IDR")) return Section::Menu;
    return Section::Dialog;
}

QString SectionName(Section section) {
    switch (section) {
        case Section::Dialog:
            return QStringLiteral("DIALOG");
        case Section::Menu:
            return QStringLiteral("MENU");
        case Section::String:
            break;
    }
    return QStringLiteral("STRING");
}

QString FindText(const std::vector<LanguageText>& texts, int id) {
    const auto it = std::find_if(texts.begin(), texts.end(),
                                 [id](const LanguageText& entry) { return entry.id == id; });
    return it == texts.end() ? QString() : it->text;
}

}  // namespace

// Defined after the constants above, which its construction uses.
CLanguage g_Language;

QString ExpandEscapes(QString text) {
    text.replace(QStringLiteral("\\t"), QStringLiteral("\t"));
    text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    text.replace(QStringLiteral("\\r"), QStringLiteral("\r"));
    return text;
}

QString FormatMessage(const QString& format, const QStringList& args) {
    QString result;
    result.reserve(format.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c != u'%' || i + 1 >= format.size()) {
            result.append(c);
            continue;
        }
        const QChar type = format[i + 1];
        if (type == u'%') {
            result.append(u'%');
            ++i;
        } else if ((type == u's' || type == u'd' || type == u'i' || type == u'u') &&
                   next < args.size()) {
            result.append(args[next++]);
            ++i;
        } else {
            result.append(c);
        }
    }
    return result;
}

CLanguage::CLanguage() : m_strCurrentLanguage(kEnglish) {}
CLanguage::~CLanguage() = default;

void CLanguage::SetServices(SettingsStore* store, PlatformServices* platform) {
    m_store = store;
    m_platform = platform;
}

bool CLanguage::Initialize(const QString& baseFolder, const QString& name) {
    m_strBaseFolder = baseFolder;
    m_arrLanguages.clear();
    FindLanguageFiles();
    return SelectLanguage(name);
}

void CLanguage::FindLanguageFiles() {
    const QDir folder(m_strBaseFolder + PathSeparator() + QStringLiteral("language"));
    const QStringList files =
        folder.entryList({QStringLiteral("*") + kIniExtension}, QDir::Files | QDir::Readable);
    for (const QString& file : files) {
        if (file.endsWith(kIniExtension)) m_arrLanguages << file.chopped(kIniExtension.size());
    }
    // Ordinal order of UTF-16 units: capitals before small letters.
    std::sort(m_arrLanguages.begin(), m_arrLanguages.end(),
              [](const QString& a, const QString& b) { return QStringView(a) < QStringView(b); });
}

QString CLanguage::GetLanguageName(int index) const {
    return index >= 0 && index < m_arrLanguages.size() ? m_arrLanguages[index] : QString();
}

bool CLanguage::SelectLanguage(const QString& name) {
    m_arrMenuTexts.clear();
    m_arrStringTexts.clear();
    m_arrDialogTexts.clear();
    m_strCurrentLanguage = kEnglish;
    for (const QString& installed : m_arrLanguages) {
        if (installed.compare(name, Qt::CaseInsensitive) == 0) {
            m_strCurrentLanguage = name;
            break;
        }
    }
    LoadLanguageFile(name);
    return true;
}

LanguageEncoding CLanguage::DetectEncoding(const QString& name) {
    const QString lower = name.toLower();
    if (lower.contains(kUtf8Suffix)) return ENCODING_UTF8;
    if (lower.contains(kUtf16Suffix)) return ENCODING_UTF16;
    return ENCODING_ANSI;
}

std::optional<QString> CLanguage::ResolveLocale(const QString& name) {
    QString part = name.toLower();
    if (m_nEncoding == ENCODING_UTF8) part.chop(kUtf8Suffix.size());
    if (m_nEncoding == ENCODING_UTF16) part.chop(kUtf16Suffix.size());

    const auto codePageFor = [this](int ansiCodePage) {
        if (m_nEncoding == ENCODING_UTF8) return kCodePageUtf8;
        if (m_nEncoding == ENCODING_UTF16) return 1252;
        return ansiCodePage;
    };
    if (part == kEnglish) {
        m_nPrimaryLanguage = 9;
        m_nSubLanguage = 1;
        m_nCodePage = codePageFor(1252);
        return kEnglish;
    }
    for (const LocaleEntry& entry : g_LocaleTable) {
        const QString rowName = QString::fromUtf16(entry.name).toLower();
        const QString abbreviation = QString::fromUtf16(entry.abbreviation).toLower();
        if (rowName == part || abbreviation == part) {
            m_nPrimaryLanguage = entry.languageId & 0x3FF;
            m_nSubLanguage = entry.languageId >> 10;
            m_nCodePage = codePageFor(entry.codePage);
            return abbreviation;
        }
    }
    Warn(QStringLiteral("Your language file name may be not proper,\n please read the help file!"),
         part);
    return std::nullopt;
}

QString CLanguage::LanguageFilePath(const QString& name) const {
    const QString folder = m_strBaseFolder + PathSeparator() + QStringLiteral("language") +
                           PathSeparator();
    const QString exact = folder + name + kIniExtension;
    if (QFileInfo::exists(exact)) return exact;
    // Names match without regard to case, also on file systems that see case.
    for (const QString& installed : m_arrLanguages) {
        if (installed.compare(name, Qt::CaseInsensitive) == 0)
            return folder + installed + kIniExtension;
    }
    return exact;
}

bool CLanguage::LoadLanguageFile(const QString& name) {
    m_nEncoding = DetectEncoding(name);
    const std::optional<QString> locale = ResolveLocale(name);
    m_strLanguageFile = LanguageFilePath(name);

    // Byte files decode with the language's code page; when the name told no
    // locale, with the system's, as the file reader would.
    const int codePage = locale ? m_nCodePage : kCodePageSystem;
    const IniFile file = IniFile::Read(
        m_strLanguageFile, [codePage](QByteArrayView bytes) { return DecodeCodePage(bytes, codePage); });

    for (const LanguageKey& row : g_LanguageKeys) {
        const QString key = QString::fromUtf16(row.key);
        const Section section = SectionOf(key);
        QString text;
        if (section == Section::Menu && key == u"IDR_MENU_LANGUAGE_POPUP")
            text = kPopupMenuCaption;
        else
            text = ExpandEscapes(file.value(SectionName(section), key).value_or(QString()));
        auto& list = section == Section::String ? m_arrStringTexts
                     : section == Section::Menu ? m_arrMenuTexts
                                                : m_arrDialogTexts;
        list.push_back({row.id, text});
    }

    ApplyRuntimeLocale(locale ? GetLanguageId() : 0);
    CreateUIFont();
    return true;
}

bool CLanguage::CreateUIFont() {
    LogFont description;
    const LogFontDefaults defaults{-11, 400, QStringLiteral("Microsoft Sans Serif")};
    if (m_store) {
        description = ReadLogFont(*m_store, m_strCurrentLanguage, defaults);
    } else {
        description.lfHeight = defaults.height;
        description.lfWeight = defaults.weight;
        description.lfFaceName = defaults.faceName;
    }
    description.lfQuality = 0;
    m_fontUI = QFontFromLogFont(description);
    return true;
}

void CLanguage::SetUIFont(const QFont& font) {
    // Described as it resolved, so only a font that exists is kept and stored.
    m_fontUI = QFontFromLogFont(LogFontFromQFont(font));
    SaveUIFont(*m_fontUI);
}

QString CLanguage::GetString(int id) const {
    const QString text = FindText(m_arrStringTexts, id);
    return text.isEmpty() ? res::LoadBuiltinString(id) : text;
}

QString CLanguage::GetMenuText(int id) const { return FindText(m_arrMenuTexts, id); }

QString CLanguage::GetDialogText(int id) const { return FindText(m_arrDialogTexts, id); }

void CLanguage::Warn(const QString& text, const QString& caption) const {
    if (m_platform) m_platform->MessageBox(nullptr, text, caption, MsgButtons::Ok, MsgIcon::None);
}
