#include "ui/dialog_builder.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

#include "ui/black_frame.h"
#include "ui/group_frame.h"

namespace ui {

namespace {

int MulDiv(int number, int numerator, int denominator) {
    return static_cast<int>(std::lround(static_cast<double>(number) * numerator / denominator));
}

/// A radio button that, like the platform's, reacts to clicks anywhere in its
/// rectangle, not only on its circle and text.
class DialogRadio final : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

QString TemplateText(const res::ControlTemplate& control) {
    return control.text ? QString::fromUtf8(control.text) : QString();
}

QWidget* CreateControl(QDialog& dialog, const res::ControlTemplate& control) {
    using K = res::ControlKind;
    const QString text = TemplateText(control);
    switch (control.kind) {
        case K::PushButton: {
            auto* button = new QPushButton(text, &dialog);
            button->setAutoDefault(false);  // Enter is routed by the dialog itself
            return button;
        }
        case K::Edit:
            return new QLineEdit(text, &dialog);
        case K::Label: {
            auto* label = new QLabel(text, &dialog);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setTextFormat(Qt::PlainText);
            label->setAttribute(Qt::WA_TransparentForMouseEvents);  // static text takes no clicks
            return label;
        }
        case K::GroupBox:
            return new GroupFrame(text, &dialog);
        case K::AutoRadio:
            return new DialogRadio(text, &dialog);
        case K::BlackFrame: {
            auto* frame = new BlackFrame(&dialog);
            frame->setAttribute(Qt::WA_TransparentForMouseEvents);
            return frame;
        }
        case K::DropDownList: {
            auto* combo = new QComboBox(&dialog);
            combo->setEditable(false);
            return combo;
        }
        case K::Icon: {
            auto* icon = new QLabel(&dialog);
            icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            icon->setAttribute(Qt::WA_TransparentForMouseEvents);
            return icon;
        }
    }
    return nullptr;
}

}  // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int cx, int cy) {
    return {MulDiv(x, units.cx, 4), MulDiv(y, units.cy, 8), MulDiv(cx, units.cx, 4),
            MulDiv(cy, units.cy, 8)};
}

QFont DialogFont(int pointSize) {
    QFont font = QApplication::font();
    font.setPointSize(pointSize);
    // Every property counts as set, so controls keep this font when another
    // font is given to the dialog itself.
    font.setResolveMask(QFont::AllPropertiesResolved);
    return font;
}

QString ControlText(const QWidget* control) {
    if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
    if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    if (auto* group = qobject_cast<const GroupFrame*>(control)) return group->title();
    if (control && control->isWindow()) return control->windowTitle();
    return {};
}

void SetControlText(QWidget* control, const QString& text) {
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* group = qobject_cast<GroupFrame*>(control))
        group->setTitle(text);
    else if (control && control->isWindow())
        control->setWindowTitle(text);
}

int ControlId(const QWidget* control) {
    bool ok = false;
    const int id = control->objectName().toInt(&ok);
    return ok ? id : 0;
}

QWidget* BuiltDialog::item(int id) const {
    for (const auto& control : controls) {
        if (control.tmpl->id == id) return control.widget;
    }
    return nullptr;
}

BuiltDialog BuildDialog(QDialog& dialog, const res::DialogTemplate& tmpl, const QFont& font) {
    dialog.setFont(font);
    dialog.setWindowTitle(QString::fromUtf8(tmpl.caption));
    const DialogBaseUnits units = BaseUnitsOf(font);
    dialog.setFixedSize(MapDialogRect(units, 0, 0, tmpl.cx, tmpl.cy).size());

    BuiltDialog built;
    QButtonGroup* group = nullptr;
    QWidget* previousTabStop = nullptr;
    for (const auto& control : tmpl.controls) {
        QWidget* widget = CreateControl(dialog, control);
        widget->setObjectName(QString::number(control.id));
        widget->setFont(font);
        QRect rect = MapDialogRect(units, control.x, control.y, control.cx, control.cy);
        if (control.kind == res::ControlKind::DropDownList) {
            // The template's height is that of the dropped list; the closed box
            // takes the height its font needs.
            rect.setHeight(widget->sizeHint().height());
        }
        widget->setGeometry(rect);

        if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
            if (!group || (control.style & res::kGroup)) {
                group = new QButtonGroup(&dialog);
                built.radioGroups.push_back(group);
            }
            group->addButton(radio, control.id);
        } else {
            group = nullptr;
        }

        const bool tabStop = (control.style & res::kTabStop) || qobject_cast<QRadioButton*>(widget);
        widget->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::NoFocus);
        if (tabStop) {
            if (previousTabStop) QWidget::setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        }
        built.controls.push_back({&control, widget});
    }
    return built;
}

}  // namespace ui
