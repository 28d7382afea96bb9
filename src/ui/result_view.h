#pragma once

// The result of a conversion at full size, fitted to the window or at 1:1 and
// scrolled: drawn by the conversion's own plan, so what it shows is what
// Convert writes.

#include <QAbstractScrollArea>
#include <QDialog>
#include <QImage>
#include <QRect>
#include <atomic>
#include <memory>

#include "imaging/plan.h"

class QThread;
class QPushButton;

namespace imaging {
class Photo;
}

namespace ui {

/// Shows the result of @p plan on @p photo: fitted from @p frameCopy (the
/// frame as the photo shows it, small) at once, or at 1:1, where only the
/// visible part is computed, beside the window.
class ResultCanvas : public QAbstractScrollArea {
    Q_OBJECT
public:
    ResultCanvas(const imaging::Photo& photo, imaging::ConversionPlan plan, QImage frameCopy,
                 QWidget* parent = nullptr);
    ~ResultCanvas() override;

    void SetActualSize(bool actual);
    bool ActualSize() const { return m_actual; }
    /// The last area computed at 1:1, in output pixels, and its pixels.
    QRect ShownArea() const { return m_tileArea; }
    const QImage& ShownPixels() const { return m_tile; }

Q_SIGNALS:
    /// An area at 1:1 has been computed and drawn.
    void AreaShown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QRect Visible() const;
    void UpdateScrollBars();
    /// Computes the visible area, with a margin, unless it is at hand or on its way.
    void Request();
    void Start(const QRect& area);

    const imaging::Photo& m_photo;
    imaging::ConversionPlan m_plan;
    QImage m_frameCopy;
    bool m_actual = false;
    QImage m_fitted;  // the result fitted to the viewport
    QRect m_tileArea;
    QImage m_tile;
    std::unique_ptr<QThread> m_worker;
    QRect m_working;  // the area the worker computes
    QRect m_pending;  // asked for meanwhile
    std::atomic<bool> m_stop{false};
};

/// The window around the canvas, with a button for each size.
class ResultView : public QDialog {
    Q_OBJECT
public:
    ResultView(const imaging::Photo& photo, imaging::ConversionPlan plan, QImage frameCopy,
               QWidget* parent = nullptr);
    ResultCanvas& Canvas() { return *m_canvas; }
    /// The most the canvas takes of the screen @p near shows on.
    static QSize LargestCanvas(const QWidget& near);

private:
    ResultCanvas* m_canvas;
};

}  // namespace ui
