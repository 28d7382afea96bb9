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

void BlackFrame::setBadge(const QString& badge) {
    if (badge == m_badge) return;
    m_badge = badge;
    update();
}

void BlackFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_image.isNull() && !rect().isEmpty()) painter.drawImage(rect(), m_image);
    if (m_badge.isEmpty()) return;
    const QRect text = fontMetrics().boundingRect(m_badge).adjusted(-3, -1, 3, 1);
    const QRect corner(rect().right() - text.width() - 1, rect().bottom() - text.height() - 1,
                       text.width(), text.height());
    painter.fillRect(corner, QColor(0, 0, 0, 160));
    painter.setPen(Qt::white);
    painter.drawText(corner, Qt::AlignCenter, m_badge);
}

}  // namespace ui
