#pragma once

#include <QImage>
#include <QWidget>

namespace ui {

/// A static control drawn as a black rectangle; the photo preview is painted
/// into it.
class BlackFrame : public QWidget {
    Q_OBJECT
public:
    explicit BlackFrame(QWidget* parent = nullptr);

    /// Shows @p image, already scaled to the frame's size; a null image shows
    /// the black frame alone.
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    /// A short mark drawn in a corner over the image (empty for none).
    void setBadge(const QString& badge);
    const QString& badge() const { return m_badge; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    QString m_badge;
};

}  // namespace ui
