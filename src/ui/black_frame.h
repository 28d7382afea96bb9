#pragma once

#include <QWidget>

/// A static control drawn as a black rectangle; the photo preview is painted
/// into it.
class BlackFrame : public QWidget {
    Q_OBJECT
public:
    explicit BlackFrame(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
