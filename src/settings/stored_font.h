#pragma once

// Fonts and colours as the settings store keeps them: a font as the thirteen
// keys of the platform's logical font ("lfHeight" ... "lfFaceName"), a colour
// as 0x00BBGGRR. Everywhere else they are QFont and QColor.

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>

namespace settings {

class Store;
struct IntKey;

/// What a section's missing font keys stand for.
struct FontDefaults {
    int32_t height;  // pixels; negative: the character height, positive: the cell height
    int32_t weight;  // 1..1000, 400 regular
    QString face;
};

/// The font stored in @p section. Each missing key takes its default, byte
/// fields keep the low 8 bits of what is stored, a face name is cut to 31
/// characters, and a height beyond any screen is cut to one that draws.
QFont ReadFont(const Store& store, const QString& section, const FontDefaults& defaults);

/// Writes @p font's thirteen keys in their fixed order. What is stored is
/// kept where it still says what @p font says, and for the fields a QFont has
/// no word for; missing fields get the platform's defaults.
void WriteFont(Store& store, const QString& section, const QFont& font);

/// @p font as it resolves on this screen: a family that exists, a pixel size.
QFont ResolvedFont(const QFont& font);

/// The opaque colour stored under @p key; the stored top byte is ignored.
QColor ReadColour(const Store& store, const IntKey& key);
void WriteColour(Store& store, const IntKey& key, const QColor& colour);

}  // namespace settings
