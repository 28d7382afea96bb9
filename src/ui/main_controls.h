#pragma once

#include <array>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

class BlackFrame;
struct BuiltDialog;

/// The main dialog's controls, typed, found once after the template built
/// them. Only here are they known by their template ids.
struct MainControls {
    QPushButton* openPhoto = nullptr;
    QPushButton* convert = nullptr;
    QPushButton* browse = nullptr;
    QPushButton* font = nullptr;
    QPushButton* baseWidth = nullptr;
    QPushButton* baseHeight = nullptr;
    QPushButton* exit = nullptr;
    QPushButton* help = nullptr;
    QPushButton* homepage = nullptr;
    BlackFrame* picture = nullptr;
    QLabel* photoInfo = nullptr;
    QLabel* frameRange = nullptr;
    QLabel* fontFace = nullptr;
    QLabel* outputWidthLabel = nullptr;
    QLabel* outputHeightLabel = nullptr;
    QLabel* outputFileLabel = nullptr;
    QLabel* textLabel = nullptr;
    QLabel* positionLabel = nullptr;
    QComboBox* frameDimension = nullptr;
    QLineEdit* frameNumber = nullptr;
    QLineEdit* outputFile = nullptr;
    QLineEdit* outputWidth = nullptr;
    QLineEdit* outputHeight = nullptr;
    QLineEdit* text = nullptr;
    QLineEdit* textX = nullptr;
    QLineEdit* textY = nullptr;
    /// The turns 0, 90, 180 and 270 degrees, in that order.
    std::array<QAbstractButton*, 4> rotate{};
    /// No flip, horizontal, vertical: the stored flip type is the index.
    std::array<QAbstractButton*, 3> flip{};
};

/// The controls of the main dialog's template in @p built.
MainControls FindMainControls(const BuiltDialog& built);

}  // namespace ui
