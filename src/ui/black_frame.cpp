#include "ui/black_frame.h"

#include <QPainter>

namespace ui {

BlackFrame::BlackFrame(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BlackFrame::setImage(const QImage& image) {
    m_image = image;
    update();
}

void BlackFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_image.isNull() && !rect().isEmpty()) painter.drawImage(rect(), m_image);
}

}  // namespace ui
