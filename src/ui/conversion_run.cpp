#include "ui/conversion_run.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>
#include <QProgressDialog>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "host/cores.h"

namespace ui {
namespace {

/// The progress shows once the work has taken this long.
constexpr int kShowProgressAfterMs = 500;
constexpr int kProgressTickMs = 50;

/// Drops the user's input to a window for as long as it lives: input made
/// while the window is busy is not meant for what it shows afterwards. Only
/// leaving is heard: Ctrl+Q or closing the window stops the work, and takes
/// effect once it has stopped.
class InputBlocker final : public QObject {
public:
    /// Blocks @p window, but not @p allowed within it; a wish to leave sets @p stop.
    InputBlocker(QWidget& window, QWidget& allowed, std::atomic<bool>& stop)
        : m_window(window), m_allowed(allowed), m_stop(stop) {
        qApp->installEventFilter(this);
    }
    ~InputBlocker() override {
        qApp->removeEventFilter(this);
        if (m_quit) QTimer::singleShot(0, m_quit, [quit = m_quit] { Q_EMIT quit->activated(); });
        if (m_close) QTimer::singleShot(0, &m_window, [window = &m_window] { window->close(); });
    }
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!IsUserInput(event->type())) return false;
        auto* shortcut = qobject_cast<QShortcut*>(watched);
        if (shortcut && event->type() == QEvent::Shortcut && shortcut->parent() == &m_window &&
            shortcut->key() == kQuitKeys) {
            m_quit = shortcut;
            m_stop = true;
            return true;
        }
        // The progress box, once shown, has the keys: Ctrl+Q there means the window's Ctrl+Q.
        if (event->type() == QEvent::KeyPress && IsWithin(watched, m_allowed)) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Q && key->modifiers() == Qt::ControlModifier) {
                for (QShortcut* quit : m_window.findChildren<QShortcut*>())
                    if (quit->parent() == &m_window && quit->key() == kQuitKeys) m_quit = quit;
                m_stop = true;
                return true;
            }
        }
        if (watched == &m_window && event->type() == QEvent::Close) {
            m_close = true;
            m_stop = true;
            event->ignore();
            return true;
        }
        if (shortcut) watched = shortcut->parent();
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget == &m_allowed || m_allowed.isAncestorOf(widget)) return false;
        return widget == &m_window || m_window.isAncestorOf(widget);
    }

private:
    static inline const QKeySequence kQuitKeys{Qt::CTRL | Qt::Key_Q};

    static bool IsWithin(QObject* watched, QWidget& widget) {
        const auto* inside = qobject_cast<QWidget*>(watched);
        return inside && (inside == &widget || widget.isAncestorOf(inside));
    }
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
    std::atomic<bool>& m_stop;
    QPointer<QShortcut> m_quit;  // asked for while the work ran
    bool m_close = false;
};

}  // namespace

WaitCursor::WaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
    QApplication::restoreOverrideCursor();
}

bool RunBeside(QWidget& window, const Work& work, const ProgressWords& words) {
    std::atomic<bool> stop{false};
    std::atomic<int> progress{-1};
    const std::unique_ptr<QThread> worker(QThread::create([&] { work(stop, progress); }));

    QProgressDialog shown(words.label, words.stop, 0, 100, &window);
    shown.setWindowTitle(window.windowTitle());  // the program's name, as the window shows it
    const InputBlocker blocker(window, shown, stop);
    shown.setWindowModality(Qt::WindowModal);
    shown.setMinimumDuration(kShowProgressAfterMs);
    shown.setAutoClose(false);
    shown.setAutoReset(false);
    QObject::connect(&shown, &QProgressDialog::canceled, [&] { stop = true; });
    QTimer ticker;
    ticker.setInterval(kProgressTickMs);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (shown.wasCanceled()) stop = true;
        if (stop) return;
        // Work that cannot tell how far it got shows that it is busy.
        if (progress < 0)
            shown.setRange(0, 0);
        else
            shown.setRange(0, 100), shown.setValue(std::min(int(progress), 99));
    });
    QEventLoop waiting;
    QObject::connect(worker.get(), &QThread::finished, &waiting, &QEventLoop::quit);
    shown.setValue(0);  // times the work from here
    worker->start();
    ticker.start();
    waiting.exec();
    worker->wait();
    return stop;
}

ConversionOutcome RunWithoutFreezing(QWidget& window, const imaging::Photo& photo,
                                     const imaging::ConversionPlan& plan, imaging::Budget budget,
                                     const imaging::Output& output, const ProgressWords& words) {
    ConversionOutcome outcome;
    outcome.stopped = RunBeside(
        window,
        [&](const std::atomic<bool>& stop, std::atomic<int>& progress) {
            progress = 0;
            budget.stop = &stop;
            budget.progress = &progress;
            const std::optional<imaging::StepFailure> failure =
                imaging::ExecuteDespiteDamage(plan, photo, budget, output, &outcome.damage);
            outcome.saved = !failure;
            outcome.failures = imaging::WhatToTell(plan, failure);
        },
        words);
    // A window lives on after conversions of any size: what they held goes back.
    host::ReturnFreedMemory();
    return outcome;
}

}  // namespace ui
