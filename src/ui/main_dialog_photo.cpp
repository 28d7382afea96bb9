// The photo commands of the main dialog: opening a photo, its preview, its
// frames, and the output size calculator.

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>

#include "host/base_folder.h"
#include "i18n/language.h"
#include "imaging/bitmap.h"
#include "imaging/formats.h"
#include "imaging/photo.h"
#include "imaging/result_look.h"
#include "imaging/size_rules.h"
#include "overlay/text_position.h"
#include "resources/resource.h"
#include "settings/keys.h"
#include "settings/store.h"
#include "ui/black_frame.h"
#include "ui/main_dialog.h"
#include "ui/main_dialog_names.h"

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
    limits.maxMemory = imaging::Bitmap::kMaxBytes;
    return limits;
}

QString MainDialog::FieldText(int id) const {
    const auto* edit = qobject_cast<const QLineEdit*>(GetDlgItem(id));
    return edit ? edit->text() : QString();
}

void MainDialog::SetFieldText(int id, const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(id))) edit->setText(text);
}

void MainDialog::OnOpenPhoto() {
    const QString startFolder = m_store.Get(settings::kLastPhotoFolder);
    const std::optional<QString> chosen = m_platform.GetOpenFileName(
        this, QStringLiteral("Select a Photo file..."), PhotoFilters(), startFolder);
    if (chosen) OpenPhotoFile(*chosen);
}

void MainDialog::OpenPhotoFile(const QString& path) {
    m_photoPath = path;
    m_store.Set(settings::kLastPhotoFolder, FolderOf(m_photoPath));
    m_photo.reset();
    // The photo's bytes are kept: what is converted is what was opened, even
    // once the file is rewritten, moved or deleted.
    imaging::OpenOptions options;
    options.autoOrient = m_autoOrient;
    options.keepBytes = kKeptPhotoBytes;
    options.limits = PhotoLimits();
    m_photo = m_loadPhoto ? m_loadPhoto(m_photoPath) : imaging::LoadPhoto(m_photoPath, options);
    RefreshPreview();

    m_outputFile = imaging::DefaultOutputFile(m_outputFolder, m_photoPath);
    SetFieldText(IDC_EDIT_OUTPUT_FILE, m_outputFile);
    GetDlgItem(IDC_EDIT_OUTPUT_FILE)->setEnabled(true);

    m_photoWidth = m_photo->Width();
    m_photoHeight = m_photo->Height();
    if (!PhotoSizeKnown()) return;

    SetFieldText(IDC_EDIT_OUTPUT_WIDTH, QString::number(m_photoWidth));
    SetFieldText(IDC_EDIT_OUTPUT_HEIGHT, QString::number(m_photoHeight));
    GetDlgItem(IDC_EDIT_OUTPUT_WIDTH)->setEnabled(true);
    GetDlgItem(IDC_EDIT_OUTPUT_HEIGHT)->setEnabled(true);
    ShowPhotoInfo();
    ShowFrames();
    CheckPositionAgainstPhoto();
}

bool MainDialog::PhotoSizeKnown() {
    const QString reason = m_photo ? m_photo->LoadFailure() : QString();
    if (m_photoWidth <= 0) {
        Message(WithReason(g_Language.GetString(Text::NoWidth), reason), m_photoPath);
        return false;
    }
    if (m_photoHeight <= 0) {
        Message(WithReason(g_Language.GetString(Text::NoHeight), reason), m_photoPath);
        return false;
    }
    return true;
}

void MainDialog::ShowFrames() {
    m_frameDimensions = m_photo->FrameDimensions();
    m_frameCounts.assign(m_frameDimensions.size(), 0);

    auto* range = qobject_cast<QLabel*>(GetDlgItem(IDC_STATIC_FRAME_RANGE));
    m_comboFrameDimension->clear();
    for (size_t i = 0; i < m_frameDimensions.size(); ++i) {
        const int index = static_cast<int>(i);
        m_comboFrameDimension->insertItem(index,
                                          imaging::FrameDimensionName(m_frameDimensions[i], index));
        m_frameCounts[i] = m_photo->FrameCount(m_frameDimensions[i]);
        range->setText(
            FormatMessage(QStringLiteral("Set frame from 0 to %d"),
                          {QString::number(static_cast<int64_t>(m_frameCounts[i]) - 1)}));
    }
    m_comboFrameDimension->setCurrentIndex(0);
    m_comboFrameDimension->setVisible(m_frameDimensions.size() >= 2);
    SetFieldText(IDC_EDIT_FRAME_NUMBER, QStringLiteral("0"));
    const bool severalFrames = !m_frameCounts.empty() && m_frameCounts[0] >= 2;
    range->setVisible(severalFrames);
    GetDlgItem(IDC_EDIT_FRAME_NUMBER)->setVisible(severalFrames);
}

void MainDialog::RefreshPreview() {
    m_frameCopy = QImage();
    ShowPreview();
}

void MainDialog::ShowPreview() {
    auto* frame = static_cast<BlackFrame*>(GetDlgItem(IDC_STATIC_PICTURE));
    if (!frame) return;
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
    imaging::ResultLook look;
    look.output =
        QSize(ParseIntField(FieldText(IDC_EDIT_OUTPUT_WIDTH), imaging::kSizeFieldBuffer),
              ParseIntField(FieldText(IDC_EDIT_OUTPUT_HEIGHT), imaging::kSizeFieldBuffer));
    look.rotateFlip = imaging::RotateFlipFor(m_rotateAngle, m_flipType).value_or(0);
    look.text = FieldText(IDC_EDIT_TEXT);
    look.font = m_textFont;
    look.colour = m_textColour;
    look.placement.margin = TypedTextPosition();
    look.textUpright = m_textUpright;
    return imaging::DrawResult(m_frameCopy, look, pixels, palette().color(QPalette::Window));
}

bool MainDialog::FrameEditTarget(int* dimension, int32_t* number) const {
    if (!m_photo || m_frameDimensions.empty() || m_comboFrameDimension->currentIndex() < 0)
        return false;
    const QString text = FieldText(IDC_EDIT_FRAME_NUMBER).left(127);
    if (text.isEmpty()) return false;
    *dimension = m_comboFrameDimension->currentIndex();
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
        SetFieldText(IDC_EDIT_FRAME_NUMBER, QStringLiteral("0"));  // runs this handler again
        return;
    }
    if (number >= count) {
        SetFieldText(IDC_EDIT_FRAME_NUMBER, QString::number(count - 1));
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
    if (FieldText(IDC_EDIT_OUTPUT_WIDTH) == QString::number(previousWidth) &&
        FieldText(IDC_EDIT_OUTPUT_HEIGHT) == QString::number(previousHeight)) {
        SetFieldText(IDC_EDIT_OUTPUT_WIDTH, QString::number(m_photoWidth));
        SetFieldText(IDC_EDIT_OUTPUT_HEIGHT, QString::number(m_photoHeight));
    }
    ShowPhotoInfo();
}

void MainDialog::ShowPhotoInfo() {
    qobject_cast<QLabel*>(GetDlgItem(IDC_STATIC_PHOTO_INFO))
        ->setText(FormatMessage(QStringLiteral("%s %d * %d"),
                                {imaging::PhotoFileName(m_photoPath), QString::number(m_photoWidth),
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
    qobject_cast<QLabel*>(GetDlgItem(IDC_STATIC_FRAME_RANGE))
        ->setText(
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
        if (watched == GetDlgItem(IDC_EDIT_FRAME_NUMBER)) OnFrameNumberLeft();
        if (watched == GetDlgItem(IDC_EDIT_TEXT_X)) OnTextPositionLeft(IDC_EDIT_TEXT_X);
        if (watched == GetDlgItem(IDC_EDIT_TEXT_Y)) OnTextPositionLeft(IDC_EDIT_TEXT_Y);
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::OnBaseWidth() {
    FillProportionalSide(IDC_EDIT_OUTPUT_WIDTH, &m_outputWidth, m_photoWidth,
                         IDC_EDIT_OUTPUT_HEIGHT, &m_outputHeight, m_photoHeight);
}

void MainDialog::OnBaseHeight() {
    FillProportionalSide(IDC_EDIT_OUTPUT_HEIGHT, &m_outputHeight, m_photoHeight,
                         IDC_EDIT_OUTPUT_WIDTH, &m_outputWidth, m_photoWidth);
}

void MainDialog::FillProportionalSide(int typedId, int32_t* typed, int32_t photoTyped, int otherId,
                                      int32_t* other, int32_t photoOther) {
    if (m_photoPath.isEmpty()) {
        Message(g_Language.GetString(Text::OpenPhotoFirst),
                g_Language.GetString(Text::ErrorCaption));
        return;
    }
    *typed = ParseIntField(FieldText(typedId), imaging::kSizeFieldBuffer);
    const auto side = imaging::ProportionalSide(photoTyped, photoOther, *typed);
    if (!side) {
        PhotoSizeKnown();  // says which side of the photo is unknown
        return;
    }
    *other = *side;
    SetFieldText(otherId, QString::number(*other));
}

bool MainDialog::CheckOutputSize() {
    m_outputWidth = ParseIntField(FieldText(IDC_EDIT_OUTPUT_WIDTH), imaging::kSizeFieldBuffer);
    m_outputHeight = ParseIntField(FieldText(IDC_EDIT_OUTPUT_HEIGHT), imaging::kSizeFieldBuffer);
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
    const overlay::PositionFit fit =
        overlay::FitOf(TypedTextPosition(), QSize(m_photoWidth, m_photoHeight));
    if (fit.x == overlay::Fit::Beyond) {
        Message(g_Language.GetString(Text::TextXBeyondWidth),
                g_Language.GetString(Text::WarningCaption));
        SetFieldText(IDC_EDIT_TEXT_X, QStringLiteral("0"));
    }
    if (fit.y == overlay::Fit::Beyond) {
        Message(g_Language.GetString(Text::TextYBeyondHeight),
                g_Language.GetString(Text::WarningCaption));
        SetFieldText(IDC_EDIT_TEXT_Y, QStringLiteral("0"));
    }
}

QPoint MainDialog::TypedTextPosition() const {
    return {imaging::ParseIntField(FieldText(IDC_EDIT_TEXT_X), imaging::kPositionFieldBuffer),
            imaging::ParseIntField(FieldText(IDC_EDIT_TEXT_Y), imaging::kPositionFieldBuffer)};
}

}  // namespace ui
