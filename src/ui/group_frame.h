#pragma once

#include <QString>
#include <QWidget>

namespace ui {

/// A group box drawn the way dialog templates mean it: a frame around a
/// region of the dialog whose top line runs through the title. It is only
/// decoration; clicks pass through to the dialog beneath.
class GroupFrame : public QWidget {
    Q_OBJECT
public:
    GroupFrame(const QString& title, QWidget* parent = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString& title);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
};

}  // namespace ui
