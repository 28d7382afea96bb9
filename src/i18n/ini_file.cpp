#include "i18n/ini_file.h"

#include <optional>

#include <QStringDecoder>
#include "host/native_file.h"

namespace i18n {

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

template <typename View>
View Trim(View text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.sliced(begin, end - begin);
}

template <typename View>
View Unquote(View text) {
    if (text.size() >= 2) {
        const auto first = text.front();
        if ((first == '"' || first == '\'') && text.back() == first)
            return text.sliced(1, text.size() - 2);
    }
    return text;
}

template <typename View>
View CutAtNul(View text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == 0) return text.first(i);
    }
    return text;
}

QString Limit(QString text) {
    if (text.size() <= IniFile::kMaxValueLength) return text;
    qsizetype cut = IniFile::kMaxValueLength;
    if (text[cut - 1].isHighSurrogate()) --cut;  // never leave half a character
    text.truncate(cut);
    return text;
}

/// Calls @p onLine for every line of @p text, without its line break.
template <typename View, typename OnLine>
void ForEachLine(View text, OnLine onLine) {
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
            onLine(text.sliced(start, i - start));
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
}

QString NameText(QByteArrayView bytes) {
    return QString::fromLatin1(bytes);
}
QString NameText(QStringView text) {
    return text.toString();
}

}  // namespace

IniFile IniFile::Read(const QString& path, const Decoder& decoder) {
    // A pipe or device named like a language file reads as a missing file.
    const std::optional<QByteArray> content = host::ReadRegularFile(path, kMaxFileBytes);
    return content ? Parse(*content, decoder) : IniFile();
}

IniFile IniFile::Parse(const QByteArray& content, const Decoder& decoder) {
    IniFile ini;
    const auto parse = [&ini](auto text, auto decodeValue) {
        QHash<QString, QString>* section = nullptr;
        ForEachLine(text, [&](auto line) {
            line = Trim(line);
            if (line.isEmpty() || line.front() == ';') return;
            if (line.front() == '[') {
                const qsizetype close = line.indexOf(']');
                const QString name =
                    Fold(NameText(Trim(line.sliced(1, (close < 0 ? line.size() : close) - 1))));
                // Only the first section of a name is ever searched.
                section = ini.m_sections.contains(name) ? nullptr : &ini.m_sections[name];
                return;
            }
            const qsizetype equals = line.indexOf('=');
            if (!section || equals < 0) return;
            const QString key = Fold(NameText(Trim(line.first(equals))));
            if (key.isEmpty() || section->contains(key)) return;
            section->insert(key,
                            Limit(decodeValue(CutAtNul(Unquote(Trim(line.sliced(equals + 1)))))));
        });
    };

    const QByteArrayView bytes(content);
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        ini.m_utf16 = true;
        QStringDecoder utf16(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                          : QStringDecoder::Utf16BE);
        const QString text = utf16.decode(bytes.sliced(2));
        parse(QStringView(text), [](QStringView value) { return value.toString(); });
    } else {
        const QByteArrayView body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes;
        parse(body, [&decoder](QByteArrayView value) { return decoder(value); });
    }
    return ini;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    const auto sectionIt = m_sections.constFind(Fold(section));
    if (sectionIt == m_sections.constEnd()) return std::nullopt;
    const auto keyIt = sectionIt->constFind(Fold(key));
    if (keyIt == sectionIt->constEnd()) return std::nullopt;
    return *keyIt;
}

}  // namespace i18n
