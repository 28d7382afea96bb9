#pragma once

#include <QString>

/// The language manager: the current language and the texts the program shows.
///
/// Message texts fall back to the built-in English string table when the
/// current language has none.
class CLanguage {
public:
    CLanguage();

    /// Remembers the base folder and selects the language @p name.
    bool Initialize(const QString& baseFolder, const QString& name);
    /// Makes @p name the current language.
    bool SelectLanguage(const QString& name);

    /// The text of message string @p id in the current language, else the
    /// built-in English text, else an empty string.
    QString GetString(int id) const;
    /// The current language's name (as stored in the settings).
    QString GetCurrentLanguage() const { return m_strCurrentLanguage; }
    /// The base folder given to Initialize.
    QString GetBaseFolder() const { return m_strBaseFolder; }

private:
    QString m_strCurrentLanguage;
    QString m_strBaseFolder;
};

/// The program's one language manager.
extern CLanguage g_Language;
