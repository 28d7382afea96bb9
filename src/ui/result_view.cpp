#include "ui/result_view.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QThread>
#include <QVBoxLayout>
#include <variant>

#include "i18n/language.h"
#include "imaging/execute.h"
#include "resources/texts.h"

namespace ui {

using i18n::g_Language;
using res::Text;

ResultCanvas::ResultCanvas(const imaging::Photo& photo, imaging::ConversionPlan plan,
                           QImage frameCopy, QWidget* parent)
    : QAbstractScrollArea(parent),
      m_photo(photo),
      m_plan(std::move(plan)),
      m_frameCopy(std::move(frameCopy)) {
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

ResultCanvas::~ResultCanvas() {
    // The photo outlives the view, not a worker still reading it.
    m_stop = true;
    if (m_worker) m_worker->wait();
}

void ResultCanvas::SetActualSize(bool actual) {
    m_actual = actual;
    UpdateScrollBars();
    if (m_actual) {
        // The middle of the result first.
        horizontalScrollBar()->setValue(horizontalScrollBar()->maximum() / 2);
        verticalScrollBar()->setValue(verticalScrollBar()->maximum() / 2);
        Request();
    }
    viewport()->update();
}

QRect ResultCanvas::Visible() const {
    return QRect(QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()),
                 viewport()->size())
        .intersected(QRect(QPoint(0, 0), m_plan.output));
}

void ResultCanvas::UpdateScrollBars() {
    const QSize room = m_actual ? m_plan.output - viewport()->size() : QSize(0, 0);
    horizontalScrollBar()->setRange(0, std::max(0, room.width()));
    verticalScrollBar()->setRange(0, std::max(0, room.height()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    verticalScrollBar()->setPageStep(viewport()->height());
}

void ResultCanvas::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    m_fitted = QImage();
    UpdateScrollBars();
    if (m_actual) Request();
}

void ResultCanvas::scrollContentsBy(int, int) {
    Request();
    viewport()->update();
}

void ResultCanvas::Request() {
    const QRect visible = Visible();
    if (visible.isEmpty() || m_tileArea.contains(visible) || m_working.contains(visible)) return;
    // A screen's worth around it, so that a little scrolling needs nothing new.
    const QRect area =
        visible.adjusted(-visible.width(), -visible.height(), visible.width(), visible.height())
            .intersected(QRect(QPoint(0, 0), m_plan.output));
    if (m_worker) {
        m_pending = area;
        return;
    }
    Start(area);
}

void ResultCanvas::Start(const QRect& area) {
    m_working = area;
    m_worker.reset(QThread::create([this, area] {
        imaging::Budget budget;
        budget.stop = &m_stop;
        auto result = imaging::ExecuteArea(m_plan, m_photo, area, budget);
        QImage pixels =
            std::holds_alternative<QImage>(result) ? std::get<QImage>(result) : QImage();
        QMetaObject::invokeMethod(
            this,
            [this, area, pixels = std::move(pixels)] {
                m_worker->wait();
                m_worker.reset();
                m_working = QRect();
                m_tileArea = area;
                m_tile = pixels;
                viewport()->update();
                Q_EMIT AreaShown();
                if (!m_pending.isEmpty()) {
                    const QRect next = std::exchange(m_pending, QRect());
                    if (!m_tileArea.contains(Visible())) Start(next);
                }
            },
            Qt::QueuedConnection);
    }));
    m_worker->start();
}

void ResultCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Window));
    if (!m_actual) {
        if (m_fitted.size() != viewport()->size())
            m_fitted = imaging::ExecuteSmall(m_plan, m_frameCopy, viewport()->size(),
                                             palette().color(QPalette::Window));
        painter.drawImage(0, 0, m_fitted);
        return;
    }
    // The part computed so far, pixel for pixel; the rest comes once computed.
    const QPoint origin(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const QPoint centred(std::max(0, (viewport()->width() - m_plan.output.width()) / 2),
                         std::max(0, (viewport()->height() - m_plan.output.height()) / 2));
    if (!m_tile.isNull()) painter.drawImage(m_tileArea.topLeft() - origin + centred, m_tile);
}

ResultView::ResultView(const imaging::Photo& photo, imaging::ConversionPlan plan, QImage frameCopy,
                       QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(g_Language.GetString(Text::ResultTitle));
    const QSize output = plan.output;
    m_canvas = new ResultCanvas(photo, std::move(plan), std::move(frameCopy), this);
    m_canvas->setAccessibleName(g_Language.GetString(Text::ResultTitle));
    auto* fit = new QPushButton(g_Language.GetString(Text::FitButton), this);
    auto* actual = new QPushButton(g_Language.GetString(Text::ActualSizeButton), this);
    auto* close = new QPushButton(g_Language.GetString(Text::CloseButton), this);
    connect(fit, &QPushButton::clicked, this, [this] { m_canvas->SetActualSize(false); });
    connect(actual, &QPushButton::clicked, this, [this] { m_canvas->SetActualSize(true); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    // Ctrl+0 fits, Ctrl+1 shows every pixel, as image viewers have them.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_0), this), &QShortcut::activated, this,
            [this] { m_canvas->SetActualSize(false); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_1), this), &QShortcut::activated, this,
            [this] { m_canvas->SetActualSize(true); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(fit);
    buttons->addWidget(actual);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_canvas, 1);
    layout->addLayout(buttons);
    // As large as the result, within most of the screen, buttons included.
    const QSize chrome = layout->sizeHint() - m_canvas->sizeHint() + QSize(4, 4);
    resize(output.boundedTo(LargestCanvas(*parentWidget())).expandedTo(QSize(320, 240)) + chrome);
}

QSize ResultView::LargestCanvas(const QWidget& near) {
    const QRect screen =
        near.screen() ? near.screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    return screen.size() * 8 / 10;
}

}  // namespace ui
