#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>

class QComboBox;
class QFontDialog;

namespace ui {

/// The font dialog with its effects (underline, strike-out) and, when asked
/// for, a list of the sixteen standard colours starting at black.
class FontColorDialog : public QDialog {
    Q_OBJECT
public:
    FontColorDialog(const QFont& initial, bool offerColours, QWidget* parent = nullptr);

    QFont selectedFont() const;
    QColor selectedColour() const;

    /// The sixteen standard colours in list order, with their names.
    static const std::vector<std::pair<QColor, QString>>& StandardColours();

private:
    QFontDialog* m_fonts;
    QComboBox* m_colours = nullptr;
};

}  // namespace ui
