#include "ui/font_color_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>
#include <cstdlib>

namespace ui {

namespace {

/// @p font with the name of its style in its family. The font chooser selects
/// a style by name, and a font without one is named "Normal", which families
/// that call it "Book" or "Roman" lack: the chooser then took the first style
/// listed, oblique in some families, and OK turned the text italic.
QFont WithStyleName(QFont font) {
    if (!font.styleName().isEmpty()) return font;
    const QString family = QFontInfo(font).family();
    QString best;
    int bestDistance = 0;
    for (const QString& style : QFontDatabase::styles(family)) {
        if (QFontDatabase::italic(family, style) != font.italic()) continue;
        const int distance = std::abs(QFontDatabase::weight(family, style) - font.weight());
        // Of equal weights the shortest name is the plain cut ("Bold", not "Condensed Bold").
        if (best.isEmpty() || distance < bestDistance ||
            (distance == bestDistance && style.size() < best.size())) {
            best = style;
            bestDistance = distance;
        }
    }
    if (!best.isEmpty()) font.setStyleName(best);
    return font;
}

}  // namespace

const std::vector<std::pair<QColor, QString>>& FontColorDialog::StandardColours() {
    static const std::vector<std::pair<QColor, QString>> colours{
        {QColor(0, 0, 0), tr("Black")},        {QColor(128, 0, 0), tr("Maroon")},
        {QColor(0, 128, 0), tr("Green")},      {QColor(128, 128, 0), tr("Olive")},
        {QColor(0, 0, 128), tr("Navy")},       {QColor(128, 0, 128), tr("Purple")},
        {QColor(0, 128, 128), tr("Teal")},     {QColor(128, 128, 128), tr("Gray")},
        {QColor(192, 192, 192), tr("Silver")}, {QColor(255, 0, 0), tr("Red")},
        {QColor(0, 255, 0), tr("Lime")},       {QColor(255, 255, 0), tr("Yellow")},
        {QColor(0, 0, 255), tr("Blue")},       {QColor(255, 0, 255), tr("Fuchsia")},
        {QColor(0, 255, 255), tr("Aqua")},     {QColor(255, 255, 255), tr("White")},
    };
    return colours;
}

FontColorDialog::FontColorDialog(const QFont& initial, bool offerColours, QWidget* parent)
    : QDialog(parent), m_fonts(new QFontDialog(this)) {
    setWindowTitle(tr("Font"));
    // The font chooser is embedded; this dialog owns the buttons.
    m_fonts->setWindowFlags(Qt::Widget);
    m_fonts->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    m_fonts->setCurrentFont(WithStyleName(initial));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fonts);
    if (offerColours) {
        auto* row = new QHBoxLayout;
        auto* label = new QLabel(tr("&Colour:"), this);
        m_colours = new QComboBox(this);
        for (const auto& [colour, name] : StandardColours()) {
            QPixmap swatch(16, 16);
            swatch.fill(colour);
            m_colours->addItem(QIcon(swatch), name, colour);
        }
        m_colours->setCurrentIndex(0);  // black, whatever was chosen before
        label->setBuddy(m_colours);
        row->addWidget(label);
        row->addWidget(m_colours, 1);
        layout->addLayout(row);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QFont FontColorDialog::selectedFont() const {
    return m_fonts->currentFont();
}

QColor FontColorDialog::selectedColour() const {
    return m_colours ? m_colours->currentData().value<QColor>() : QColor(Qt::black);
}

}  // namespace ui
