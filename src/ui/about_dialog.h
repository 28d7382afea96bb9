#pragma once

#include <QDialog>

namespace ui {

/// The About box: the program icon, its name and version, and OK.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace ui
