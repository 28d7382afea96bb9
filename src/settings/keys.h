#pragma once

#include <QString>
#include <cstdint>

// Every key of the settings store with the value a missing or unreadable one
// gives, spelled exactly as stored. The overlay's and the interface's font
// keys are the stored font's (stored_font.h).
namespace settings {

/// The company key under which the store keeps the program's data.
inline const QString kCompanyKey = QStringLiteral("VELTRIX");

inline const QString kOption = QStringLiteral("Option");
inline const QString kCurrentFont = QStringLiteral("CurrentFont");

/// An integer: its section, its key and its default.
struct IntKey {
    const QString& section;
    QString name;
    int32_t fallback;
};
/// A text: its section, its key and its default.
struct TextKey {
    const QString& section;
    QString name;
    QString fallback;
};

inline const TextKey kCurrentLanguage{kOption, QStringLiteral("CurrentLanguage"),
                                      QStringLiteral("english")};
/// Its default, the pictures folder, is known only at run time.
inline const TextKey kLastOutputFolder{kOption, QStringLiteral("last_output_folder"), QString()};
inline const TextKey kLastPhotoFolder{kOption, QStringLiteral("LastPhotoFolder"), QString()};
inline const IntKey kRotateAngle{kOption, QStringLiteral("nRotateAngel"), 0};  // sic: as stored
inline const IntKey kFlipType{kOption, QStringLiteral("nFlipType"), 0};
inline const IntKey kConvertToSrgb{kOption, QStringLiteral("nConvertToSrgb"), 0};
inline const IntKey kAutoOrient{kOption, QStringLiteral("nAutoOrient"), 0};
inline const IntKey kTextUpright{kOption, QStringLiteral("nTextUpright"), 0};
inline const IntKey kShowResult{kOption, QStringLiteral("nShowResult"), 0};
/// Typing one side of the output sets the other in the photo's proportions.
inline const IntKey kKeepProportions{kOption, QStringLiteral("nKeepProportions"), 0};
inline const IntKey kMetadata{kOption, QStringLiteral("nMetadata"), 0};  // 0 rights, 1 all, 2 none
/// The overlay's colour as 0x00BBGGRR, beside its font.
inline const IntKey kCurrentColor{kCurrentFont, QStringLiteral("nCurrentColor"), 0};

}  // namespace settings
