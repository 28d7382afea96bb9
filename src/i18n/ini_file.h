#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <optional>

namespace i18n {

/// A read-only INI file, read the way the platform's private-profile reader
/// reads one:
/// - a file starting with a UTF-16 byte-order mark is UTF-16 text; any other
///   file is bytes, each value decoded by the caller's decoder (a UTF-8
///   byte-order mark is skipped);
/// - section and key names match without regard to letter case;
/// - blanks around names and values are dropped, and a value wrapped in
///   matching quotes loses them;
/// - lines starting with ';' are comments; lines without '=' are ignored;
/// - the first of several equal sections, and the first of several equal keys
///   in it, is the one found;
/// - a value ends at a NUL and is cut to kMaxValueLength UTF-16 units.
class IniFile {
public:
    static constexpr qsizetype kMaxValueLength = 2047;
    /// A larger file is no language file; it reads as missing.
    static constexpr qint64 kMaxFileBytes = qint64{64} << 20;

    /// Decodes a value's bytes in a byte file.
    using Decoder = std::function<QString(QByteArrayView)>;

    /// Reads @p path; a missing or unreadable file, or one that is no regular
    /// file of at most kMaxFileBytes, reads as empty.
    static IniFile Read(const QString& path, const Decoder& decoder);
    /// Parses @p content as a file's bytes.
    static IniFile Parse(const QByteArray& content, const Decoder& decoder);

    /// The value of @p key in @p section, or nothing when either is missing.
    std::optional<QString> value(const QString& section, const QString& key) const;

    /// True when the file was UTF-16 text.
    bool isUtf16() const { return m_utf16; }

private:
    static QString Fold(QStringView name) { return name.toString().toCaseFolded(); }

    QHash<QString, QHash<QString, QString>> m_sections;
    bool m_utf16 = false;
};

}  // namespace i18n
