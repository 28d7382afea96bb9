// The main dialog on a desktop: files handed over at start or dropped on the
// window, and the usual shortcuts beside the designed keys.

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMimeData>
#include <QShortcut>
#include <QShowEvent>
#include <QTimer>
#include <QUrl>
#include <utility>

#include "ui/main_dialog.h"

namespace ui {
namespace {

/// The local file a drag carries (the first, when several), or nothing.
std::optional<QString> DraggedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return std::nullopt;
    return urls.front().toLocalFile();
}

}  // namespace

void MainDialog::OpenAtStart(const QString& path) {
    if (isVisible())
        OpenPhotoFile(path);
    else
        m_photoAtStart = path;
}

void MainDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Opened once the window shows, so its messages have the window to sit on.
    if (!m_photoAtStart.isEmpty())
        QTimer::singleShot(0, this, [this] { OpenPhotoFile(std::exchange(m_photoAtStart, {})); });
}

void MainDialog::AddShortcuts() {
    const auto add = [this](QKeySequence keys, void (MainDialog::*handler)()) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, handler);
    };
    add(QKeySequence(Qt::CTRL | Qt::Key_O), &MainDialog::OnOpenPhoto);
    add(QKeySequence(Qt::Key_F1), &MainDialog::OnHelp);
    add(QKeySequence(Qt::CTRL | Qt::Key_Q), &MainDialog::OnExit);
    // Beside Enter, which closes the dialog as designed.
    add(QKeySequence(Qt::CTRL | Qt::Key_Return), &MainDialog::OnConvert);
    add(QKeySequence(Qt::CTRL | Qt::Key_Enter), &MainDialog::OnConvert);
}

void MainDialog::AcceptDroppedFiles() {
    // The window takes files dropped anywhere; the edits would paste their
    // URL as text, so their file drops are taken before they see them.
    setAcceptDrops(true);
    for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->installEventFilter(this);
}

bool MainDialog::TakeFileDrop(QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!DraggedFile(drag->mimeData())) return false;
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const std::optional<QString> file = DraggedFile(drop->mimeData());
            if (!file) return false;
            drop->acceptProposedAction();
            activateWindow();
            OpenPhotoFile(*file);
            return true;
        }
        default:
            return false;
    }
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
    if (!TakeFileDrop(event)) QDialog::dragEnterEvent(event);
}

void MainDialog::dragMoveEvent(QDragMoveEvent* event) {
    if (!TakeFileDrop(event)) QDialog::dragMoveEvent(event);
}

void MainDialog::dropEvent(QDropEvent* event) {
    if (!TakeFileDrop(event)) QDialog::dropEvent(event);
}

}  // namespace ui
