// The photo commands of the main dialog: opening a photo, its preview, its
// frames, and the output size calculator.

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>

#include "frontend/size_rules.h"
#include "host/base_folder.h"
#include "i18n/language.h"
#include "imaging/execute.h"
#include "imaging/formats.h"
#include "imaging/photo.h"
#include "imaging/text_position.h"
#include "resources/resource.h"
#include "settings/keys.h"
#include "settings/store.h"
#include "ui/black_frame.h"
#include "ui/conversion_run.h"
#include "ui/main_dialog.h"
#include "ui/main_dialog_names.h"
#include "ui/result_view.h"

namespace ui {

namespace {

/// The turn and flip a conversion will make, as a mark on the preview: they
/// are remembered from run to run, and would otherwise come as a surprise.
QString TurnBadge(int angle, int flipType) {
    QString badge;
    if (angle == 90 || angle == 180 || angle == 270) badge = QStringLiteral("%1\u00B0").arg(angle);
    if (flipType == 1) badge += QStringLiteral(" \u21C6");
    if (flipType == 2) badge += QStringLiteral(" \u21C5");
    return badge.trimmed();
}

/// A photo file up to this size is kept in memory once opened; a larger one
/// is read again from the file opened, and a rewrite of it is noticed.
constexpr qint64 kKeptPhotoBytes = qint64{512} << 20;

const std::vector<FileFilter>& PhotoFilters() {
    static const std::vector<FileFilter> filters{
        {QStringLiteral("Photo Files (*.bmp;*.gif;*.png;*.tif;*.jpg;*.jpeg;*.ico;*.exif;*.wmf;"
                        "*.emf;*.dib;*.webp;*.heic;*.avif;*.jxl;*.jp2)"),
         imaging::OpenDialogPatterns()},
        {QStringLiteral("Any Files (*.*)"), {"*"}},
    };
    return filters;
}

}  // namespace

decoder::Limits MainDialog::PhotoLimits() {
    imaging::Limits limits;
    limits.maxMemory = imaging::kMaxOutputBytes;
    return limits;
}

void MainDialog::OnOpenPhoto() {
    const QString startFolder = m_store.Get(settings::kLastPhotoFolder);
    const std::optional<QString> chosen = m_platform.GetOpenFileName(
        this, QStringLiteral("Select a Photo file..."), PhotoFilters(), startFolder);
    if (chosen) OpenPhotoFile(*chosen);
}

void MainDialog::OpenPhotoFile(const QString& path) {
    // The photo's bytes are kept: what is converted is what was opened, even
    // once the file is rewritten, moved or deleted.
    imaging::OpenOptions options;
    options.autoOrient = m_autoOrient;
    options.keepBytes = kKeptPhotoBytes;
    options.limits = PhotoLimits();
    // Decoding runs beside the window, the first preview with it (the photo
    // keeps it), so that a slow or hostile photo never freezes the window.
    const QSize pixels = m_controls.picture->size() * m_controls.picture->devicePixelRatio();
    const bool resultShown = m_showResult;
    std::unique_ptr<imaging::Photo> opened;
    bool shown = false;
    const WaitCursor wait;
    const bool stopped = RunBeside(
        *this,
        [&](const std::atomic<bool>& stop, std::atomic<int>&) {
            options.stop = &stop;
            opened = m_loadPhoto ? m_loadPhoto(path) : imaging::LoadPhoto(path, options);
            const QSize size(opened->Width(), opened->Height());
            if (size.isEmpty() || pixels.isEmpty() || stop) return;
            shown =
                !opened
                     ->Preview(resultShown ? size.scaled(pixels * 2, Qt::KeepAspectRatio) : pixels)
                     .isNull();
        },
        {g_Language.GetString(Text::Opening), g_Language.GetString(Text::StopButton)});
    // Stopped by the user: the photo open before stays as it was.
    if (stopped) return;
    m_store.Set(settings::kLastPhotoFolder, FolderOf(path));
    // A photo that cannot be opened changes nothing: the photo open before
    // stays whole, with its name, size, fields, preview and output name.
    if (!PhotoSizeKnown(*opened, path)) return;
    m_photoPath = path;
    m_photo = std::move(opened);
    m_photoWidth = m_photo->Width();
    m_photoHeight = m_photo->Height();
    RefreshPreview();

    m_outputFile = frontend::DefaultOutputFile(m_outputFolder, m_photoPath);
    m_controls.outputFile->setText(m_outputFile);
    m_controls.outputFile->setEnabled(true);
    m_controls.outputWidth->setText(QString::number(m_photoWidth));
    m_controls.outputHeight->setText(QString::number(m_photoHeight));
    m_controls.outputWidth->setEnabled(true);
    m_controls.outputHeight->setEnabled(true);
    ShowPhotoInfo();
    ShowFrames();
    CheckPositionAgainstPhoto();
    if (const QString damage = m_photo->Damage(); !damage.isEmpty()) WarnOfDamage(damage, shown);
}

bool MainDialog::PhotoSizeKnown(const imaging::Photo& photo, const QString& path) {
    const QString reason = photo.LoadFailure();
    if (photo.Width() <= 0) {
        Message(WithReason(g_Language.GetString(Text::NoWidth), reason), path);
        return false;
    }
    if (photo.Height() <= 0) {
        Message(WithReason(g_Language.GetString(Text::NoHeight), reason), path);
        return false;
    }
    return true;
}

void MainDialog::ShowFrames() {
    m_frameDimensions = m_photo->FrameDimensions();
    m_frameCounts.assign(m_frameDimensions.size(), 0);

    QLabel* range = m_controls.frameRange;
    QComboBox* dimensions = m_controls.frameDimension;
    dimensions->clear();
    for (size_t i = 0; i < m_frameDimensions.size(); ++i) {
        const int index = static_cast<int>(i);
        dimensions->insertItem(index, imaging::FrameDimensionName(m_frameDimensions[i], index));
        m_frameCounts[i] = m_photo->FrameCount(m_frameDimensions[i]);
        range->setText(
            FormatMessage(QStringLiteral("Set frame from 0 to %d"),
                          {QString::number(static_cast<int64_t>(m_frameCounts[i]) - 1)}));
    }
    dimensions->setCurrentIndex(0);
    dimensions->setVisible(m_frameDimensions.size() >= 2);
    m_controls.frameNumber->setText(QStringLiteral("0"));
    const bool severalFrames = !m_frameCounts.empty() && m_frameCounts[0] >= 2;
    range->setVisible(severalFrames);
    m_controls.frameNumber->setVisible(severalFrames);
}

void MainDialog::RefreshPreview() {
    m_frameCopy = QImage();
    ShowPreview();
}

void MainDialog::ShowPreview() {
    BlackFrame* frame = m_controls.picture;
    // The result shows its turn itself; the stretched photo needs the mark. A
    // photo the camera turned, written as stored, comes out turned: say so.
    QString badge = m_showResult ? QString() : TurnBadge(m_rotateAngle, m_flipType);
    if (m_photo && m_photo->TurnedByCamera())
        badge += (badge.isEmpty() ? QString() : QStringLiteral(" \u00B7 ")) +
                 g_Language.GetString(Text::CameraTurnedMark);
    frame->setBadge(badge);
    if (!m_photo || frame->size().isEmpty()) {
        frame->setImage({});
        return;
    }
    // Made at the frame's device pixels; painting only copies it.
    const QSize pixels = frame->size() * frame->devicePixelRatio();
    QImage preview = m_showResult ? ResultPreview(pixels) : m_photo->Preview(pixels);
    preview.setDevicePixelRatio(frame->devicePixelRatio());
    frame->setImage(preview);
}

QImage MainDialog::ResultPreview(const QSize& pixels) {
    // One copy of the frame, in its own proportions, serves every change of
    // the fields until the frame itself changes.
    if (m_frameCopy.isNull() && m_photoWidth > 0 && m_photoHeight > 0)
        m_frameCopy = m_photo->Preview(
            QSize(m_photoWidth, m_photoHeight).scaled(pixels * 2, Qt::KeepAspectRatio));
    const QSize output(ParseIntField(m_controls.outputWidth->text(), frontend::kSizeFieldBuffer),
                       ParseIntField(m_controls.outputHeight->text(), frontend::kSizeFieldBuffer));
    // The shown copy is the frame as the photo shows it: planned as the photo is.
    return imaging::ExecuteSmall(
        imaging::PlanConversion(imaging::FactsOf(*m_photo), RequestFor(output)), m_frameCopy,
        pixels, palette().color(QPalette::Window));
}

void MainDialog::ShowFullSize() {
    if (m_photoPath.isEmpty()) {
        Message(g_Language.GetString(Text::OpenPhotoFirst),
                g_Language.GetString(Text::ErrorCaption));
        return;
    }
    if (!CheckOutputSize()) return;
    imaging::ConversionPlan plan = imaging::PlanConversion(
        imaging::FactsOf(*m_photo), RequestFor(QSize(m_outputWidth, m_outputHeight)));
    if (!plan.refusal.isEmpty()) {  // said as Convert would say it
        Message(WithReason(g_Language.GetString(Text::ConvertFailed), plan.refusal),
                g_Language.GetString(Text::ErrorCaption));
        return;
    }
    // A copy of the frame as large as the view's screen shows it fitted; it
    // is decoded beside the window, as an opening is.
    const QSize screen = ResultView::LargestCanvas(*this) * devicePixelRatio();
    const QSize frame(m_photoWidth, m_photoHeight);
    const QSize copySize = frame.scaled(screen, Qt::KeepAspectRatio).boundedTo(frame);
    QImage copy;
    if (RunBeside(
            *this,
            [&](const std::atomic<bool>&, std::atomic<int>&) { copy = m_photo->Preview(copySize); },
            {g_Language.GetString(Text::Opening), g_Language.GetString(Text::StopButton)}))
        return;
    ResultView view(*m_photo, std::move(plan), copy, this);
    m_resultView = &view;
    view.exec();
    m_resultView = nullptr;
}

bool MainDialog::FrameEditTarget(int* dimension, int32_t* number) const {
    const int current = m_controls.frameDimension->currentIndex();
    if (!m_photo || m_frameDimensions.empty() || current < 0) return false;
    const QString text = m_controls.frameNumber->text().left(127);
    if (text.isEmpty()) return false;
    *dimension = current;
    *number = ParseIntField(text, 128);
    return true;
}

void MainDialog::OnFrameNumberChanged() {
    int dimension = 0;
    int32_t number = 0;
    if (!FrameEditTarget(&dimension, &number)) return;
    const int64_t count = m_frameCounts[static_cast<size_t>(dimension)];
    // A dimension without frames has no number to settle on.
    if (count == 0) return;
    if (number < 0) {
        m_controls.frameNumber->setText(QStringLiteral("0"));  // runs this handler again
        return;
    }
    if (number >= count) {
        m_controls.frameNumber->setText(QString::number(count - 1));
        return;
    }
    if (m_photo->SelectActiveFrame(m_frameDimensions[static_cast<size_t>(dimension)],
                                   static_cast<uint32_t>(number)))
        TakeActiveFrameSize();
    RefreshPreview();
}

void MainDialog::TakeActiveFrameSize() {
    const int32_t previousWidth = m_photoWidth;
    const int32_t previousHeight = m_photoHeight;
    m_photoWidth = m_photo->Width();
    m_photoHeight = m_photo->Height();
    if (m_photoWidth == previousWidth && m_photoHeight == previousHeight) return;
    // Sizes still as the previous frame gave them follow this one; typed ones stay.
    if (m_controls.outputWidth->text() == QString::number(previousWidth) &&
        m_controls.outputHeight->text() == QString::number(previousHeight)) {
        m_controls.outputWidth->setText(QString::number(m_photoWidth));
        m_controls.outputHeight->setText(QString::number(m_photoHeight));
    }
    ShowPhotoInfo();
}

void MainDialog::ShowPhotoInfo() {
    m_controls.photoInfo->setText(
        FormatMessage(QStringLiteral("%s %d * %d"),
                      {frontend::PhotoFileName(m_photoPath), QString::number(m_photoWidth),
                       QString::number(m_photoHeight)}));
}

void MainDialog::OnFrameNumberLeft() {
    int dimension = 0;
    int32_t number = 0;
    if (!FrameEditTarget(&dimension, &number)) return;
    if (number >= 0 &&
        number < static_cast<int64_t>(m_frameCounts[static_cast<size_t>(dimension)])) {
        if (m_photo->SelectActiveFrame(m_frameDimensions[static_cast<size_t>(dimension)],
                                       static_cast<uint32_t>(number)))
            TakeActiveFrameSize();
        RefreshPreview();
        return;
    }
    Message(g_Language.GetString(Text::FrameInvalid), g_Language.GetString(Text::ErrorCaption));
}

void MainDialog::OnFrameDimensionChanged(int index) {
    if (index < 0 || static_cast<size_t>(index) >= m_frameDimensions.size()) return;
    const int64_t count = m_frameCounts[static_cast<size_t>(index)];
    m_controls.frameRange->setText(
        FormatMessage(g_Language.GetString(Text::FrameRange), {QString::number(count - 1)}));
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    // Focus taken by another window (a message box the check itself shows)
    // is not the user leaving the field: checking then said everything twice.
    const auto leftField = [event] {
        if (event->type() != QEvent::FocusOut) return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
    };
    if (TakeFileDrop(event)) return true;
    if (leftField()) {
        if (watched == m_controls.frameNumber) OnFrameNumberLeft();
        if (watched == m_controls.textX) OnTextPositionLeft(m_controls.textX);
        if (watched == m_controls.textY) OnTextPositionLeft(m_controls.textY);
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::OnBaseWidth() {
    FillProportionalSide(m_controls.outputWidth, &m_outputWidth, m_photoWidth,
                         m_controls.outputHeight, &m_outputHeight, m_photoHeight);
}

void MainDialog::OnBaseHeight() {
    FillProportionalSide(m_controls.outputHeight, &m_outputHeight, m_photoHeight,
                         m_controls.outputWidth, &m_outputWidth, m_photoWidth);
}

void MainDialog::FollowTypedSide(bool width) {
    if (!m_photo || m_photoWidth <= 0 || m_photoHeight <= 0) return;
    QLineEdit* typed = width ? m_controls.outputWidth : m_controls.outputHeight;
    QLineEdit* other = width ? m_controls.outputHeight : m_controls.outputWidth;
    const int32_t side = ParseIntField(typed->text(), frontend::kSizeFieldBuffer);
    if (side <= 0) return;  // half typed: the other side waits
    const auto proportional = width ? frontend::ProportionalSide(m_photoWidth, m_photoHeight, side)
                                    : frontend::ProportionalSide(m_photoHeight, m_photoWidth, side);
    if (proportional) other->setText(QString::number(*proportional));
}

void MainDialog::FillProportionalSide(const QLineEdit* typedField, int32_t* typed,
                                      int32_t photoTyped, QLineEdit* otherField, int32_t* other,
                                      int32_t photoOther) {
    if (m_photoPath.isEmpty()) {
        Message(g_Language.GetString(Text::OpenPhotoFirst),
                g_Language.GetString(Text::ErrorCaption));
        return;
    }
    *typed = ParseIntField(typedField->text(), frontend::kSizeFieldBuffer);
    const auto side = frontend::ProportionalSide(photoTyped, photoOther, *typed);
    if (!side) {
        if (m_photo) PhotoSizeKnown(*m_photo, m_photoPath);  // says which side is unknown
        return;
    }
    *other = *side;
    otherField->setText(QString::number(*other));
}

bool MainDialog::CheckOutputSize() {
    m_outputWidth = ParseIntField(m_controls.outputWidth->text(), frontend::kSizeFieldBuffer);
    m_outputHeight = ParseIntField(m_controls.outputHeight->text(), frontend::kSizeFieldBuffer);
    if (m_outputWidth <= 0) {
        Message(g_Language.GetString(Text::WidthInvalid), g_Language.GetString(Text::ErrorCaption));
        return false;
    }
    if (m_outputHeight <= 0) {
        Message(g_Language.GetString(Text::HeightInvalid),
                g_Language.GetString(Text::ErrorCaption));
        return false;
    }
    return true;
}

void MainDialog::CheckPositionAgainstPhoto() {
    // Only a position beyond the photo is reset here; a negative one waits for
    // the checks at leaving the field and at converting.
    const imaging::PositionFit fit =
        imaging::FitOf(TypedTextPosition(), QSize(m_photoWidth, m_photoHeight));
    if (fit.x == imaging::Fit::Beyond) {
        Message(g_Language.GetString(Text::TextXBeyondWidth),
                g_Language.GetString(Text::WarningCaption));
        m_controls.textX->setText(QStringLiteral("0"));
    }
    if (fit.y == imaging::Fit::Beyond) {
        Message(g_Language.GetString(Text::TextYBeyondHeight),
                g_Language.GetString(Text::WarningCaption));
        m_controls.textY->setText(QStringLiteral("0"));
    }
}

QPoint MainDialog::TypedTextPosition() const {
    return {ParseIntField(m_controls.textX->text(), frontend::kPositionFieldBuffer),
            ParseIntField(m_controls.textY->text(), frontend::kPositionFieldBuffer)};
}

}  // namespace ui
