#include "settings/stored_font.h"

#include <QFontInfo>
#include <algorithm>
#include <array>
#include <cstdlib>

#include "settings/keys.h"
#include "settings/store.h"

namespace settings {

namespace {

constexpr int kMaxFaceNameLength = 31;
constexpr int32_t kDefaultCharSet = 1;
// Beyond this a stored height is nonsense; the font engine would choke on it.
constexpr int64_t kMaxPixelSize = 32767;

// The stored keys in the order they are written. Integers are read as stored;
// byte fields keep their low 8 bits.
enum class Field {
    Height,
    Width,
    Escapement,
    Orientation,
    Weight,
    Italic,
    Underline,
    StrikeOut,
    CharSet,
    OutPrecision,
    ClipPrecision,
    PitchAndFamily
};
struct StoredField {
    Field field;
    const char* key;
    bool byte;
};
constexpr std::array kFields{
    StoredField{Field::Height, "lfHeight", false},
    StoredField{Field::Width, "lfWidth", false},
    StoredField{Field::Escapement, "lfEscapement", false},
    StoredField{Field::Orientation, "lfOrientation", false},
    StoredField{Field::Weight, "lfWeight", false},
    StoredField{Field::Italic, "lfItalic", true},
    StoredField{Field::Underline, "lfUnderline", true},
    StoredField{Field::StrikeOut, "lfStrikeOut", true},
    StoredField{Field::CharSet, "lfCharSet", true},
    StoredField{Field::OutPrecision, "lfOutPrecision", true},
    StoredField{Field::ClipPrecision, "lfClipPrecision", true},
    StoredField{Field::PitchAndFamily, "lfPitchAndFamily", true},
};
constexpr auto kFaceNameKey = "lfFaceName";

int32_t Read(const Store& store, const QString& section, const StoredField& stored,
             const FontDefaults& defaults) {
    const int32_t fallback = stored.field == Field::Height   ? defaults.height
                             : stored.field == Field::Weight ? defaults.weight
                                                             : 0;
    const int32_t value = store.GetProfileInt(section, QString::fromLatin1(stored.key), fallback);
    return stored.byte ? value & 0xFF : value;
}

/// What @p font stores under @p field.
int32_t Stored(const QFont& font, Field field) {
    switch (field) {
        case Field::Height: {
            const int pixels =
                font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
            return -pixels;
        }
        case Field::Weight:
            return font.weight();
        case Field::Italic:
            return font.italic() ? 1 : 0;
        case Field::Underline:
            return font.underline() ? 1 : 0;
        case Field::StrikeOut:
            return font.strikeOut() ? 1 : 0;
        case Field::CharSet:
            return kDefaultCharSet;
        default:
            return 0;
    }
}

}  // namespace

QFont ReadFont(const Store& store, const QString& section, const FontDefaults& defaults) {
    QFont font(store.GetProfileString(section, QString::fromLatin1(kFaceNameKey), defaults.face)
                   .left(kMaxFaceNameLength));
    for (const StoredField& stored : kFields) {
        const int32_t value = Read(store, section, stored, defaults);
        switch (stored.field) {
            case Field::Height:
                if (value != 0)
                    font.setPixelSize(static_cast<int>(
                        std::min<int64_t>(std::abs(int64_t{value}), kMaxPixelSize)));
                break;
            case Field::Weight:
                if (value > 0) font.setWeight(static_cast<QFont::Weight>(std::min(value, 1000)));
                break;
            case Field::Italic:
                font.setItalic(value != 0);
                break;
            case Field::Underline:
                font.setUnderline(value != 0);
                break;
            case Field::StrikeOut:
                font.setStrikeOut(value != 0);
                break;
            default:
                break;  // no word for it in a QFont
        }
    }
    return font;
}

void WriteFont(Store& store, const QString& section, const QFont& font) {
    for (const StoredField& stored : kFields)
        store.WriteProfileInt(section, QString::fromLatin1(stored.key), Stored(font, stored.field));
    store.WriteProfileString(section, QString::fromLatin1(kFaceNameKey),
                             font.family().left(kMaxFaceNameLength));
}

QFont ResolvedFont(const QFont& font) {
    const QFontInfo info(font);
    QFont resolved(info.family());
    resolved.setPixelSize(info.pixelSize());
    resolved.setWeight(static_cast<QFont::Weight>(info.weight()));
    resolved.setItalic(info.italic());
    resolved.setUnderline(font.underline());
    resolved.setStrikeOut(font.strikeOut());
    return resolved;
}

QColor ReadColour(const Store& store, const IntKey& key) {
    const auto stored = static_cast<uint32_t>(store.Get(key));
    return QColor(static_cast<int>(stored & 0xFF), static_cast<int>((stored >> 8) & 0xFF),
                  static_cast<int>((stored >> 16) & 0xFF));
}

void WriteColour(Store& store, const IntKey& key, const QColor& colour) {
    store.Set(key, static_cast<int32_t>(static_cast<uint32_t>(colour.red()) |
                                        (static_cast<uint32_t>(colour.green()) << 8) |
                                        (static_cast<uint32_t>(colour.blue()) << 16)));
}

}  // namespace settings
