#include "font/log_font.h"

#include <QFontInfo>
#include <algorithm>
#include <array>
#include <cstdlib>

#include "app/settings_store.h"

namespace font {

namespace {

constexpr uint8_t kDefaultCharSet = 1;
// Beyond this a stored height is nonsense; the font engine would choke on it.
constexpr int64_t kMaxPixelSize = 32767;

struct IntField {
    const char* key;
    int32_t LogFont::*field;
};
struct ByteField {
    const char* key;
    uint8_t LogFont::*field;
};

// The stored keys in the order they are written; the quality has no key.
constexpr std::array kIntFields{
    IntField{"lfHeight", &LogFont::lfHeight},
    IntField{"lfWidth", &LogFont::lfWidth},
    IntField{"lfEscapement", &LogFont::lfEscapement},
    IntField{"lfOrientation", &LogFont::lfOrientation},
    IntField{"lfWeight", &LogFont::lfWeight},
};
constexpr std::array kByteFields{
    ByteField{"lfItalic", &LogFont::lfItalic},
    ByteField{"lfUnderline", &LogFont::lfUnderline},
    ByteField{"lfStrikeOut", &LogFont::lfStrikeOut},
    ByteField{"lfCharSet", &LogFont::lfCharSet},
    ByteField{"lfOutPrecision", &LogFont::lfOutPrecision},
    ByteField{"lfClipPrecision", &LogFont::lfClipPrecision},
    ByteField{"lfPitchAndFamily", &LogFont::lfPitchAndFamily},
};
constexpr auto kFaceNameKey = "lfFaceName";

int32_t IntDefault(const char* key, const LogFontDefaults& defaults) {
    const QLatin1StringView name(key);
    if (name == QLatin1StringView("lfHeight")) return defaults.height;
    if (name == QLatin1StringView("lfWeight")) return defaults.weight;
    return 0;
}

}  // namespace

LogFont ReadLogFont(const app::SettingsStore& store, const QString& section,
                    const LogFontDefaults& defaults) {
    LogFont font;
    for (const auto& [key, field] : kIntFields)
        font.*field =
            store.GetProfileInt(section, QString::fromLatin1(key), IntDefault(key, defaults));
    for (const auto& [key, field] : kByteFields)
        font.*field =
            static_cast<uint8_t>(store.GetProfileInt(section, QString::fromLatin1(key), 0));
    font.lfFaceName =
        store.GetProfileString(section, QString::fromLatin1(kFaceNameKey), defaults.faceName)
            .left(LogFont::kMaxFaceNameLength);
    return font;
}

void WriteLogFont(app::SettingsStore& store, const QString& section, const LogFont& font) {
    for (const auto& [key, field] : kIntFields)
        store.WriteProfileInt(section, QString::fromLatin1(key), font.*field);
    for (const auto& [key, field] : kByteFields)
        store.WriteProfileInt(section, QString::fromLatin1(key), font.*field);
    store.WriteProfileString(section, QString::fromLatin1(kFaceNameKey), font.lfFaceName);
}

LogFont LogFontFromQFont(const QFont& font) {
    const QFontInfo info(font);
    LogFont lf;
    lf.lfHeight = -info.pixelSize();
    lf.lfWeight = info.weight();
    lf.lfItalic = info.italic() ? 1 : 0;
    lf.lfUnderline = font.underline() ? 1 : 0;
    lf.lfStrikeOut = font.strikeOut() ? 1 : 0;
    lf.lfCharSet = kDefaultCharSet;
    lf.lfFaceName = info.family().left(LogFont::kMaxFaceNameLength);
    return lf;
}

QFont QFontFromLogFont(const LogFont& lf) {
    QFont font(lf.lfFaceName);
    if (lf.lfHeight != 0) {
        const int64_t height = std::abs(static_cast<int64_t>(lf.lfHeight));
        font.setPixelSize(static_cast<int>(std::min<int64_t>(height, kMaxPixelSize)));
    }
    if (lf.lfWeight > 0) font.setWeight(static_cast<QFont::Weight>(std::min(lf.lfWeight, 1000)));
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    return font;
}

QColor ColorFromColorRef(ColorRef colorRef) {
    return QColor(static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
                  static_cast<int>((colorRef >> 16) & 0xFF));
}

ColorRef ColorRefFromColor(const QColor& colour) {
    return static_cast<uint32_t>(colour.red()) | (static_cast<uint32_t>(colour.green()) << 8) |
           (static_cast<uint32_t>(colour.blue()) << 16);
}

}  // namespace font
