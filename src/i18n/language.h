#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "resources/texts.h"

namespace settings {
class Store;
}  // namespace settings

namespace i18n {

/// How a language file's name says its texts are encoded.
enum LanguageEncoding : int32_t {
    ENCODING_ANSI = 0,   // the language's own code page
    ENCODING_UTF16 = 1,  // name ends in "_unicode"
    ENCODING_UTF8 = 2,   // name ends in "_utf-8"
};

/// One loaded text: the id the program asks for and the language's text.
struct LanguageText {
    int32_t id;
    QString text;
};

/// The language manager: the installed language files, the current language's
/// texts, its locale and its interface font.
///
/// Message texts fall back to the built-in English strings; dialog and menu
/// texts have no fallback, so windows keep their template texts.
class Language {
public:
    /// Shows a warning about a language file: its text and caption.
    using WarningHandler = std::function<void(const QString& text, const QString& caption)>;

    Language();
    ~Language();

    /// The settings store the interface fonts are kept in; without one fonts
    /// take their defaults and are not stored.
    void SetStore(settings::Store* store) { m_store = store; }
    /// Where warnings go; without a handler they are not shown.
    void SetWarningHandler(WarningHandler handler) { m_warn = std::move(handler); }

    /// Lists the language files under @p baseFolder and selects @p name.
    void Initialize(const QString& baseFolder, const QString& name);
    /// Loads the language @p name: texts, locale and interface font.
    void SelectLanguage(const QString& name);

    /// @p text in the language, else in the built-in English.
    QString GetString(res::Text text) const;
    /// The menu text @p id of the language, or empty.
    QString GetMenuText(int id) const;
    /// The dialog text @p id of the language, or empty.
    QString GetDialogText(int id) const;

    int GetLanguageCount() const { return static_cast<int>(m_languages.size()); }
    /// The installed language at @p index (0 to count - 1), or empty.
    QString GetLanguageName(int index) const;
    QString GetCurrentLanguage() const { return m_currentLanguage; }
    /// The current language's code page and identifier (the thread locale).
    int GetCodePage() const { return m_codePage; }
    uint16_t GetLanguageId() const {
        return static_cast<uint16_t>((m_subLanguage << 10) | (m_primaryLanguage & 0x3FF));
    }
    LanguageEncoding GetEncoding() const { return m_encoding; }

    /// The interface font; nothing before the first load.
    const std::optional<QFont>& GetUIFont() const { return m_uiFont; }
    /// Builds the interface font from the current language's settings.
    void CreateUIFont();
    /// Makes @p font the interface font and stores it for the current language.
    void SetUIFont(const QFont& font);

    /// The caption of top-level item @p position of menu resource @p menuId.
    QString GetTopLevelCaption(int menuId, int position) const;

    static LanguageEncoding DetectEncoding(const QString& name);

private:
    void FindLanguageFiles();
    void LoadLanguageFile(const QString& name);
    std::optional<QString> ResolveLocale(const QString& name);
    QString LanguageFilePath(const QString& name) const;
    void Warn(const QString& text, const QString& caption) const;

    QString m_currentLanguage;
    QStringList m_languages;
    std::vector<LanguageText> m_menuTexts;
    std::vector<LanguageText> m_dialogTexts;
    std::vector<std::pair<res::Text, QString>> m_texts;  // those the language file holds
    QString m_baseFolder;
    int32_t m_codePage = 1252;
    int32_t m_subLanguage = 1;
    int32_t m_primaryLanguage = 9;
    QString m_languageFile;
    LanguageEncoding m_encoding = ENCODING_ANSI;
    std::optional<QFont> m_uiFont;

    settings::Store* m_store = nullptr;
    WarningHandler m_warn;
};

/// The program's one language manager.
extern Language g_Language;

/// Replaces the two-character escapes "\t", "\n" and "\r" by a tab, a line
/// feed and a carriage return; other backslashes stay.
QString ExpandEscapes(QString text);

}  // namespace i18n
