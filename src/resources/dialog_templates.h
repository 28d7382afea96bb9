#pragma once

#include <span>

namespace res {

/// The kinds of control a dialog template can hold.
enum class ControlKind {
    PushButton,
    Edit,   // single line, border, automatic horizontal scrolling
    Label,  // left-aligned static text, wraps at word boundaries
    GroupBox,
    AutoRadio,
    BlackFrame,    // black rectangle; the preview is painted into it
    DropDownList,  // non-editable combo box with a vertical scroll bar
    Icon,          // static showing the application icon
};

/// Style bits of a template control.
enum ControlStyle : unsigned {
    kNoStyle = 0,
    kTabStop = 1u << 0,
    kGroup = 1u << 1,  // starts a new group (radio buttons)
};

/// One control of a dialog template; position and size are in dialog units.
struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;  // English template text; nullptr for none
    int x, y, cx, cy;
    unsigned style;
};

/// A dialog template: caption, size in dialog units, font, and its controls in
/// creation order, which is also the tab order.
struct DialogTemplate {
    int id;
    const char* caption;
    int cx, cy;
    int fontPointSize;
    std::span<const ControlTemplate> controls;
};

/// Template 102, the main dialog.
const DialogTemplate& MainDialogTemplate();
/// Template 100, the About box.
const DialogTemplate& AboutDialogTemplate();

}  // namespace res
