#pragma once

#include <QString>

// Sections and keys of the settings store, spelled exactly as stored.
namespace app::settings {

/// The company key under which the store keeps the program's data.
inline const QString kCompanyKey = QStringLiteral("VELTRIX");

inline const QString kOption = QStringLiteral("Option");
inline const QString kCurrentFont = QStringLiteral("CurrentFont");

inline const QString kCurrentLanguage = QStringLiteral("CurrentLanguage");
inline const QString kLastOutputFolder = QStringLiteral("last_output_folder");
inline const QString kLastPhotoFolder = QStringLiteral("LastPhotoFolder");
inline const QString kRotateAngle = QStringLiteral("nRotateAngel");  // sic: the stored name
inline const QString kFlipType = QStringLiteral("nFlipType");
inline const QString kConvertToSrgb = QStringLiteral("nConvertToSrgb");
inline const QString kAutoOrient = QStringLiteral("nAutoOrient");
inline const QString kTextUpright = QStringLiteral("nTextUpright");
inline const QString kShowResult = QStringLiteral("nShowResult");
inline const QString kMetadata = QStringLiteral("nMetadata");  // 0 rights, 1 all, 2 none
inline const QString kCurrentColor = QStringLiteral("nCurrentColor");

inline const QString kDefaultLanguage = QStringLiteral("english");

}  // namespace app::settings
