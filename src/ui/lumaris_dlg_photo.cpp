// The photo commands of the main dialog: opening a photo, its preview, its
// frames, and the output size calculator.

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>

#include "app/base_folder.h"
#include "app/settings_keys.h"
#include "app/settings_store.h"
#include "i18n/language.h"
#include "imaging/photo.h"
#include "imaging/size_rules.h"
#include "resources/resource.h"
#include "ui/black_frame.h"
#include "ui/lumaris_dlg.h"

using namespace res;
using imaging::ParseIntField;

namespace {

const std::vector<FileFilter>& PhotoFilters() {
    static const std::vector<FileFilter> filters{
        {QStringLiteral("Photo Files (*.bmp;*.gif;*.png;*.tif;*.jpg;*.jpeg;*.ico;*.exif;*.wmf;"
                        "*.emf;*.dib;*.webp;*.heic;*.avif;*.jxl;*.jp2)"),
         {"*.bmp",  "*.gif", "*.png", "*.tif", "*.jpg",  "*.jpeg", "*.ico",  "*.exif",
          "*.wmf",  "*.emf", "*.dib", "*.raw", "*.tiff", "*.webp", "*.heic", "*.heif",
          "*.avif", "*.jxl", "*.jp2", "*.j2k", "*.jpf",  "*.jpx"}},
        {QStringLiteral("Any Files (*.*)"), {"*"}},
    };
    return filters;
}

}  // namespace

QString CLumarisDlg::FieldText(int id) const {
    const auto* edit = qobject_cast<const QLineEdit*>(GetDlgItem(id));
    return edit ? edit->text() : QString();
}

void CLumarisDlg::SetFieldText(int id, const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(id))) edit->setText(text);
}

void CLumarisDlg::OnOpenPhoto() {
    const QString startFolder =
        m_store.GetProfileString(settings::kOption, settings::kLastPhotoFolder, QString());
    const std::optional<QString> chosen = m_platform.GetOpenFileName(
        this, QStringLiteral("Select a Photo file..."), PhotoFilters(), startFolder);
    if (!chosen) return;

    m_szPhotoPath = *chosen;
    m_store.WriteProfileString(settings::kOption, settings::kLastPhotoFolder,
                               FolderOf(m_szPhotoPath));
    m_pPhoto.reset();
    m_pPhoto = m_loadPhoto ? m_loadPhoto(m_szPhotoPath)
                           : imaging::LoadPhoto(m_szPhotoPath, imaging::OpenOptions{m_bAutoOrient});
    RefreshPreview();

    m_strOutputFile = imaging::DefaultOutputFile(m_strOutputFolder, m_szPhotoPath);
    SetFieldText(IDC_EDIT_OUTPUT_FILE, m_strOutputFile);
    GetDlgItem(IDC_EDIT_OUTPUT_FILE)->setEnabled(true);

    m_nPhotoWidth = m_pPhoto->Width();
    m_nPhotoHeight = m_pPhoto->Height();
    if (!PhotoSizeKnown()) return;

    SetFieldText(IDC_EDIT_OUTPUT_WIDTH, QString::number(m_nPhotoWidth));
    SetFieldText(IDC_EDIT_OUTPUT_HEIGHT, QString::number(m_nPhotoHeight));
    GetDlgItem(IDC_EDIT_OUTPUT_WIDTH)->setEnabled(true);
    GetDlgItem(IDC_EDIT_OUTPUT_HEIGHT)->setEnabled(true);
    qobject_cast<QLabel*>(GetDlgItem(IDC_STATIC_PHOTO_INFO))
        ->setText(FormatMessage(QStringLiteral("%s %d * %d"),
                                {imaging::PhotoFileName(m_szPhotoPath),
                                 QString::number(m_nPhotoWidth), QString::number(m_nPhotoHeight)}));
    ShowFrames();
    CheckPositionAgainstPhoto();
}

bool CLumarisDlg::PhotoSizeKnown() {
    if (m_nPhotoWidth <= 0) {
        Message(g_Language.GetString(IDS_STRING126), m_szPhotoPath);
        return false;
    }
    if (m_nPhotoHeight <= 0) {
        Message(g_Language.GetString(IDS_STRING127), m_szPhotoPath);
        return false;
    }
    return true;
}

void CLumarisDlg::ShowFrames() {
    m_pFrameDimensions = m_pPhoto->FrameDimensions();
    if (m_pFrameDimensions.size() > m_nFrameCount.size())
        m_pFrameDimensions.resize(m_nFrameCount.size());
    m_nFrameCount.fill(0);

    auto* range = qobject_cast<QLabel*>(GetDlgItem(IDC_STATIC_FRAME_RANGE));
    m_comboFrameDimension->clear();
    for (size_t i = 0; i < m_pFrameDimensions.size(); ++i) {
        const int index = static_cast<int>(i);
        m_comboFrameDimension->insertItem(
            index, imaging::FrameDimensionName(m_pFrameDimensions[i], index));
        m_nFrameCount[i] = m_pPhoto->FrameCount(m_pFrameDimensions[i]);
        range->setText(
            FormatMessage(QStringLiteral("Set frame from 0 to %d"),
                          {QString::number(static_cast<int64_t>(m_nFrameCount[i]) - 1)}));
    }
    m_comboFrameDimension->setCurrentIndex(0);
    m_comboFrameDimension->setVisible(m_pFrameDimensions.size() >= 2);
    SetFieldText(IDC_EDIT_FRAME_NUMBER, QStringLiteral("0"));
    const bool severalFrames = m_nFrameCount[0] >= 2;
    range->setVisible(severalFrames);
    GetDlgItem(IDC_EDIT_FRAME_NUMBER)->setVisible(severalFrames);
}

void CLumarisDlg::RefreshPreview() {
    auto* frame = static_cast<BlackFrame*>(GetDlgItem(IDC_STATIC_PICTURE));
    if (!m_pPhoto || frame->size().isEmpty()) {
        frame->setImage({});
        return;
    }
    // Made once per frame at the frame's device pixels; painting only copies it.
    const QSize pixels = frame->size() * frame->devicePixelRatio();
    QImage preview = m_pPhoto->Preview(pixels);
    preview.setDevicePixelRatio(frame->devicePixelRatio());
    frame->setImage(preview);
}

bool CLumarisDlg::FrameEditTarget(int* dimension, int32_t* number) const {
    if (!m_pPhoto || m_pFrameDimensions.empty() || m_comboFrameDimension->currentIndex() < 0)
        return false;
    const QString text = FieldText(IDC_EDIT_FRAME_NUMBER).left(127);
    if (text.isEmpty()) return false;
    *dimension = m_comboFrameDimension->currentIndex();
    *number = ParseIntField(text, 128);
    return true;
}

void CLumarisDlg::OnFrameNumberChanged() {
    int dimension = 0;
    int32_t number = 0;
    if (!FrameEditTarget(&dimension, &number)) return;
    const int64_t count = m_nFrameCount[static_cast<size_t>(dimension)];
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
    m_pPhoto->SelectActiveFrame(m_pFrameDimensions[static_cast<size_t>(dimension)],
                                static_cast<uint32_t>(number));
    RefreshPreview();
}

void CLumarisDlg::OnFrameNumberLeft() {
    int dimension = 0;
    int32_t number = 0;
    if (!FrameEditTarget(&dimension, &number)) return;
    if (number >= 0 &&
        number < static_cast<int64_t>(m_nFrameCount[static_cast<size_t>(dimension)])) {
        m_pPhoto->SelectActiveFrame(m_pFrameDimensions[static_cast<size_t>(dimension)],
                                    static_cast<uint32_t>(number));
        RefreshPreview();
        return;
    }
    Message(g_Language.GetString(IDS_STRING121), g_Language.GetString(IDS_MESSAGE_ERROR));
}

void CLumarisDlg::OnFrameDimensionChanged(int index) {
    if (index < 0 || static_cast<size_t>(index) >= m_pFrameDimensions.size()) return;
    const int64_t count = m_nFrameCount[static_cast<size_t>(index)];
    qobject_cast<QLabel*>(GetDlgItem(IDC_STATIC_FRAME_RANGE))
        ->setText(FormatMessage(g_Language.GetString(IDS_STRING122), {QString::number(count - 1)}));
}

bool CLumarisDlg::eventFilter(QObject* watched, QEvent* event) {
    // Focus taken by another window (a message box the check itself shows)
    // is not the user leaving the field: checking then said everything twice.
    const auto leftField = [event] {
        if (event->type() != QEvent::FocusOut) return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
    };
    if (leftField()) {
        if (watched == GetDlgItem(IDC_EDIT_FRAME_NUMBER)) OnFrameNumberLeft();
        if (watched == GetDlgItem(IDC_EDIT_TEXT_X)) OnTextPositionLeft(IDC_EDIT_TEXT_X);
        if (watched == GetDlgItem(IDC_EDIT_TEXT_Y)) OnTextPositionLeft(IDC_EDIT_TEXT_Y);
    }
    return QDialog::eventFilter(watched, event);
}

void CLumarisDlg::OnBaseWidth() {
    FillProportionalSide(IDC_EDIT_OUTPUT_WIDTH, &m_nOutputWidth, m_nPhotoWidth,
                         IDC_EDIT_OUTPUT_HEIGHT, &m_nOutputHeight, m_nPhotoHeight);
}

void CLumarisDlg::OnBaseHeight() {
    FillProportionalSide(IDC_EDIT_OUTPUT_HEIGHT, &m_nOutputHeight, m_nPhotoHeight,
                         IDC_EDIT_OUTPUT_WIDTH, &m_nOutputWidth, m_nPhotoWidth);
}

void CLumarisDlg::FillProportionalSide(int typedId, int32_t* typed, int32_t photoTyped, int otherId,
                                       int32_t* other, int32_t photoOther) {
    if (m_szPhotoPath.isEmpty()) {
        Message(g_Language.GetString(IDS_STRING108), g_Language.GetString(IDS_MESSAGE_ERROR));
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

bool CLumarisDlg::CheckOutputSize() {
    m_nOutputWidth = ParseIntField(FieldText(IDC_EDIT_OUTPUT_WIDTH), imaging::kSizeFieldBuffer);
    m_nOutputHeight = ParseIntField(FieldText(IDC_EDIT_OUTPUT_HEIGHT), imaging::kSizeFieldBuffer);
    if (m_nOutputWidth <= 0) {
        Message(g_Language.GetString(IDS_STRING111), g_Language.GetString(IDS_MESSAGE_ERROR));
        return false;
    }
    if (m_nOutputHeight <= 0) {
        Message(g_Language.GetString(IDS_STRING112), g_Language.GetString(IDS_MESSAGE_ERROR));
        return false;
    }
    return true;
}

void CLumarisDlg::CheckPositionAgainstPhoto() {
    const int32_t x = ParseIntField(FieldText(IDC_EDIT_TEXT_X), imaging::kPositionFieldBuffer);
    const int32_t y = ParseIntField(FieldText(IDC_EDIT_TEXT_Y), imaging::kPositionFieldBuffer);
    if (x >= m_nPhotoWidth) {
        Message(g_Language.GetString(IDS_STRING128), g_Language.GetString(IDS_MESSAGE_WARNING));
        SetFieldText(IDC_EDIT_TEXT_X, QStringLiteral("0"));
    }
    if (y >= m_nPhotoHeight) {
        Message(g_Language.GetString(IDS_STRING129), g_Language.GetString(IDS_MESSAGE_WARNING));
        SetFieldText(IDC_EDIT_TEXT_Y, QStringLiteral("0"));
    }
}
