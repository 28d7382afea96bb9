#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>

namespace app {
class SettingsStore;
}  // namespace app

namespace font {

/// A font description with the fields, types and meaning of the platform's
/// logical font: sizes in pixels of the screen (a negative height is the
/// character height, a positive one the cell height), weight 0..1000, byte-sized
/// flags, and a face name of at most kMaxFaceNameLength characters.
struct LogFont {
    static constexpr int kMaxFaceNameLength = 31;

    int32_t lfHeight = 0;
    int32_t lfWidth = 0;
    int32_t lfEscapement = 0;
    int32_t lfOrientation = 0;
    int32_t lfWeight = 0;
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = 0;
    uint8_t lfOutPrecision = 0;
    uint8_t lfClipPrecision = 0;
    uint8_t lfQuality = 0;
    uint8_t lfPitchAndFamily = 0;
    QString lfFaceName;

    bool operator==(const LogFont&) const = default;
};

/// A colour as 0x00BBGGRR: red in the lowest byte.
using ColorRef = uint32_t;

/// Values a section's missing keys take.
struct LogFontDefaults {
    int32_t height;
    int32_t weight;
    QString faceName;
};

/// Reads the thirteen font keys of @p section; each missing key takes its
/// default, byte fields keep the low 8 bits, and a longer face name is cut.
LogFont ReadLogFont(const app::SettingsStore& store, const QString& section,
                    const LogFontDefaults& defaults);

/// Writes the thirteen font keys of @p section in their fixed order.
void WriteLogFont(app::SettingsStore& store, const QString& section, const LogFont& font);

/// The description of @p font as it resolves on this screen.
LogFont LogFontFromQFont(const QFont& font);

/// A font made from @p font's description.
QFont QFontFromLogFont(const LogFont& font);

/// The opaque colour of @p colorRef; its top byte is ignored.
QColor ColorFromColorRef(ColorRef colorRef);
/// The ColorRef of @p colour.
ColorRef ColorRefFromColor(const QColor& colour);

}  // namespace font
