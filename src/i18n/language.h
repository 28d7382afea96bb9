#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "overlay/log_font.h"

class PlatformServices;
class QMenu;
class QWidget;
class SettingsStore;

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
class CLanguage {
public:
    /// First command id of the Language menu; one id per installed language.
    static constexpr int kFirstLanguageCommand = 45400;

    CLanguage();
    ~CLanguage();

    /// The settings store (interface fonts) and the desktop (warnings) the
    /// manager uses; without them fonts take their defaults and warnings are
    /// not shown.
    void SetServices(SettingsStore* store, PlatformServices* platform);

    /// Lists the language files under @p baseFolder and selects @p name.
    bool Initialize(const QString& baseFolder, const QString& name);
    /// Loads the language @p name: texts, locale and interface font.
    bool SelectLanguage(const QString& name);

    /// The message text @p id: the language's, else the built-in English one,
    /// else empty.
    QString GetString(int id) const;
    /// The menu text @p id of the language, or empty.
    QString GetMenuText(int id) const;
    /// The dialog text @p id of the language, or empty.
    QString GetDialogText(int id) const;

    int GetLanguageCount() const { return static_cast<int>(m_arrLanguages.size()); }
    /// The installed language at @p index (0 to count - 1), or empty.
    QString GetLanguageName(int index) const;
    QString GetCurrentLanguage() const { return m_strCurrentLanguage; }
    /// The current language's code page and identifier (the thread locale).
    int GetCodePage() const { return m_nCodePage; }
    uint16_t GetLanguageId() const {
        return static_cast<uint16_t>((m_nSubLanguage << 10) | (m_nPrimaryLanguage & 0x3FF));
    }
    LanguageEncoding GetEncoding() const { return m_nEncoding; }

    /// The interface font; nothing before the first load.
    const std::optional<QFont>& GetUIFont() const { return m_fontUI; }
    /// Builds the interface font from the current language's settings.
    bool CreateUIFont();
    /// Makes @p font the interface font and stores it for the current language.
    void SetUIFont(const QFont& font);

    /// Puts the language's texts and interface font on @p dialog, built from
    /// template @p templateId.
    bool ApplyToDialog(QWidget& dialog, int templateId);
    /// Puts the language's texts on @p menu, loaded from menu resource
    /// @p menuId; @p topLevel for the resource's own top-level items.
    bool ApplyToMenu(QMenu& menu, int menuId, bool topLevel);
    /// The caption of top-level item @p position of menu resource @p menuId.
    QString GetTopLevelCaption(int menuId, int position) const;
    /// Stores @p font's description as the current language's interface font.
    bool SaveUIFont(const QFont& font);

    static LanguageEncoding DetectEncoding(const QString& name);

private:
    void FindLanguageFiles();
    bool LoadLanguageFile(const QString& name);
    std::optional<QString> ResolveLocale(const QString& name);
    QString LanguageFilePath(const QString& name) const;
    void Warn(const QString& text, const QString& caption) const;

    QString m_strCurrentLanguage;
    QStringList m_arrLanguages;
    std::vector<LanguageText> m_arrMenuTexts;
    std::vector<LanguageText> m_arrStringTexts;
    std::vector<LanguageText> m_arrDialogTexts;
    QString m_strBaseFolder;
    int32_t m_nCodePage = 1252;
    int32_t m_nSubLanguage = 1;
    int32_t m_nPrimaryLanguage = 9;
    QString m_strLanguageFile;
    LanguageEncoding m_nEncoding = ENCODING_ANSI;
    std::optional<QFont> m_fontUI;
    int32_t m_nPopupCounter = 0;

    SettingsStore* m_store = nullptr;
    PlatformServices* m_platform = nullptr;
};

/// The program's one language manager.
extern CLanguage g_Language;

/// Replaces the two-character escapes "\t", "\n" and "\r" by a tab, a line
/// feed and a carriage return; other backslashes stay.
QString ExpandEscapes(QString text);

/// Fills the printf-style placeholders of a message ("%s", "%d", "%%") in order
/// with @p args; a placeholder without an argument stays as written.
QString FormatMessage(const QString& format, const QStringList& args);
