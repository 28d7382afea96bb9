#pragma once

#include <QFont>
#include <QRect>
#include <vector>

#include "resources/dialog_templates.h"

class QButtonGroup;
class QDialog;
class QWidget;

namespace ui {

/// Pixels per dialog unit of a font: a horizontal unit is a quarter of cx, a
/// vertical unit an eighth of cy.
struct DialogBaseUnits {
    int cx;
    int cy;
};

/// The base units of @p font: cx from the average width of the Latin letters
/// (rounded up by half), cy from the font's line height.
DialogBaseUnits BaseUnitsOf(const QFont& font);

/// A rectangle given in dialog units, in pixels.
QRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int cx, int cy);

/// The font a template's point size stands for on this desktop.
QFont DialogFont(int pointSize);

/// The text a control shows (button, label, group box or window caption).
QString ControlText(const QWidget* control);
/// Sets the text a control shows; controls without text are left alone.
void SetControlText(QWidget* control, const QString& text);
/// The template id of a control built by BuildDialog, or 0.
int ControlId(const QWidget* control);

/// One created control and its template.
struct BuiltControl {
    const res::ControlTemplate* tmpl;
    QWidget* widget;
};

/// The controls created for a template, in template order.
struct BuiltDialog {
    std::vector<BuiltControl> controls;
    std::vector<QButtonGroup*> radioGroups;

    /// The control with @p id, or nullptr.
    QWidget* item(int id) const;
};

/// Creates the controls of @p tmpl as children of @p dialog: sizes and
/// positions mapped through @p font, tab order = template order, each group
/// of radio buttons exclusive on its own. Sets the caption and a fixed size.
BuiltDialog BuildDialog(QDialog& dialog, const res::DialogTemplate& tmpl, const QFont& font);

}  // namespace ui
