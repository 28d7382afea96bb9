#include "settings/stored_font.h"

#include <QFontInfo>
#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <optional>

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

/// The integer stored under @p key, or nothing when none is.
std::optional<int32_t> StoredInt(const Store& store, const QString& section, const QString& key) {
    const int32_t low = store.GetProfileInt(section, key, INT32_MIN);
    const int32_t high = store.GetProfileInt(section, key, INT32_MAX);
    return low == high ? std::optional<int32_t>(low) : std::nullopt;
}

/// True for the fields a QFont holds a meaning of.
bool HasMeaning(Field field) {
    switch (field) {
        case Field::Height:
        case Field::Weight:
        case Field::Italic:
        case Field::Underline:
        case Field::StrikeOut:
            return true;
        default:
            return false;
    }
}

/// True when the stored @p value of @p field reads as what @p font holds.
bool SaysTheSame(int32_t value, const QFont& font, Field field) {
    const int32_t byte = value & 0xFF;
    switch (field) {
        case Field::Height:
            return value != 0 &&
                   std::min<int64_t>(std::abs(int64_t{value}), kMaxPixelSize) == font.pixelSize();
        case Field::Weight:
            return value > 0 && std::min(value, 1000) == font.weight();
        case Field::Italic:
            return (byte != 0) == font.italic();
        case Field::Underline:
            return (byte != 0) == font.underline();
        case Field::StrikeOut:
            return (byte != 0) == font.strikeOut();
        default:
            return false;
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
    for (const StoredField& stored : kFields) {
        const QString key = QString::fromLatin1(stored.key);
        const std::optional<int32_t> old = StoredInt(store, section, key);
        // A stored value that still says what the font says is written back as
        // it was read (lfHeight=20 stays 20, lfCharSet=300 stays 300), and so
        // is every field a QFont has no word for: a font left unchanged comes
        // back key for key, a change rewrites only what it decides.
        if (old && (!HasMeaning(stored.field) || SaysTheSame(*old, font, stored.field)))
            store.WriteProfileInt(section, key, *old);
        else
            store.WriteProfileInt(section, key, Stored(font, stored.field));
    }
    const QString faceKey = QString::fromLatin1(kFaceNameKey);
    const QString oldFace = store.GetProfileString(section, faceKey, QString());
    store.WriteProfileString(section, faceKey,
                             oldFace.left(kMaxFaceNameLength) == font.family()
                                 ? oldFace
                                 : font.family().left(kMaxFaceNameLength));
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
