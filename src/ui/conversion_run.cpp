#include "ui/conversion_run.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>

namespace ui {
namespace {

/// The progress shows once the work has taken this long.
constexpr int kShowProgressAfterMs = 500;
constexpr int kProgressTickMs = 50;

/// Drops the user's input to a window for as long as it lives: input made
/// while the window is busy is not meant for what it shows afterwards.
class InputBlocker final : public QObject {
public:
    /// Blocks @p window, but not @p allowed within it.
    InputBlocker(QWidget& window, QWidget& allowed) : m_window(window), m_allowed(allowed) {
        qApp->installEventFilter(this);
    }
    ~InputBlocker() override { qApp->removeEventFilter(this); }
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!IsUserInput(event->type())) return false;
        if (const auto* shortcut = qobject_cast<QShortcut*>(watched)) watched = shortcut->parent();
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget == &m_allowed || m_allowed.isAncestorOf(widget)) return false;
        return widget == &m_window || m_window.isAncestorOf(widget);
    }

private:
    static bool IsUserInput(QEvent::Type type) {
        switch (type) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::ContextMenu:
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
            case QEvent::Close:
            case QEvent::TouchBegin:
            case QEvent::TabletPress:
                return true;
            default:
                return false;
        }
    }
    QWidget& m_window;
    QWidget& m_allowed;
};

}  // namespace

ConversionOutcome RunWithoutFreezing(QWidget& window, const imaging::Photo& photo,
                                     imaging::ConversionOrder order, const ProgressWords& words) {
    std::atomic<bool> stop{false};
    std::atomic<int> progress{0};
    order.stop = &stop;
    order.progress = &progress;
    ConversionOutcome outcome;
    const std::unique_ptr<QThread> worker(QThread::create([&] {
        outcome.saved = imaging::RunConversion(
            photo, order,
            [&](const imaging::StepFailure& failure) { outcome.failures.push_back(failure); });
    }));

    QProgressDialog shown(words.label, words.stop, 0, 100, &window);
    const InputBlocker blocker(window, shown);
    shown.setWindowModality(Qt::WindowModal);
    shown.setMinimumDuration(kShowProgressAfterMs);
    shown.setAutoClose(false);
    shown.setAutoReset(false);
    QObject::connect(&shown, &QProgressDialog::canceled, [&] { stop = true; });
    QTimer ticker;
    ticker.setInterval(kProgressTickMs);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (shown.wasCanceled()) stop = true;
        if (!stop) shown.setValue(std::min(int(progress), 99));
    });
    QEventLoop waiting;
    QObject::connect(worker.get(), &QThread::finished, &waiting, &QEventLoop::quit);
    shown.setValue(0);  // times the work from here
    worker->start();
    ticker.start();
    waiting.exec();
    worker->wait();
    outcome.stopped = stop;
    return outcome;
}

}  // namespace ui
