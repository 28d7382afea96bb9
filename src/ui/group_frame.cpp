#include "ui/group_frame.h"

#include <QPainter>
#include <QStyle>

namespace ui {

GroupFrame::GroupFrame(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(QString(title).remove(u'&'));
}

void GroupFrame::setTitle(const QString& title) {
    m_title = title;
    // What a screen reader calls the group: its title.
    setAccessibleName(QString(title).remove(u'&'));
    update();
}

void GroupFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int lineY = metrics.height() / 2;

    // An etched line: dark, with a light copy one pixel below and right.
    const QRect box = rect().adjusted(0, lineY, -2, -2);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(box);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(box.translated(1, 1));

    if (m_title.isEmpty()) return;
    const int indent = metrics.averageCharWidth();
    const int pad = metrics.averageCharWidth() / 3 + 1;
    const QRect titleRect(indent, 0, metrics.horizontalAdvance(m_title) + 2 * pad,
                          metrics.height());
    painter.fillRect(titleRect, palette().window());
    style()->drawItemText(&painter, titleRect.adjusted(pad, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic, palette(),
                          isEnabled(), m_title, QPalette::WindowText);
}

}  // namespace ui
