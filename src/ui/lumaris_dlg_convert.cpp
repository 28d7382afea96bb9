// The conversion commands of the main dialog: Convert, Browse, the overlay
// font and the text position checks.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include "app/base_folder.h"
#include "app/settings_keys.h"
#include "app/settings_store.h"
#include "i18n/language.h"
#include "imaging/bitmap.h"
#include "imaging/conversion.h"
#include "imaging/photo.h"
#include "imaging/size_rules.h"
#include "resources/resource.h"
#include "resources/step_messages.h"
#include "ui/lumaris_dlg.h"

using namespace res;
using imaging::ParseIntField;

namespace {

/// The wait cursor for as long as it lives.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

void CLumarisDlg::OnConvert() {
    if (m_szPhotoPath.isEmpty()) {
        Message(g_Language.GetString(IDS_STRING108), g_Language.GetString(IDS_MESSAGE_ERROR));
        return;
    }
    UpdateData(true);
    if (FileExists(m_strOutputFile)) {
        const QString question =
            FormatMessage(g_Language.GetString(IDS_STRING120), {m_strOutputFile});
        if (Message(question, g_Language.GetString(IDS_MESSAGE_WARNING), MsgButtons::YesNo,
                    MsgIcon::Exclamation) != MsgResult::Yes)
            return;
        // The old file stays until a complete new one replaces it (see Save).
    }
    const WaitCursor wait;
    ConvertPhoto();
}

void CLumarisDlg::ConvertPhoto() {
    if (!CheckOutputSize()) return;
    UpdateData(true);
    // The whole path is used: a shortened one would name another file.
    m_szOutputPath = FieldText(IDC_EDIT_OUTPUT_FILE);

    imaging::ConversionOrder order;
    order.width = m_nOutputWidth;
    order.height = m_nOutputHeight;
    order.angle = m_nRotateAngle;
    order.flipType = m_nFlipType;
    order.text = FieldText(IDC_EDIT_TEXT);
    order.font = QFontFromLogFont(m_lfText);
    order.colour = imaging::ColorFromColorRef(m_crTextColor);
    order.position =
        QPoint(ParseIntField(FieldText(IDC_EDIT_TEXT_X), imaging::kPositionFieldBuffer),
               ParseIntField(FieldText(IDC_EDIT_TEXT_Y), imaging::kPositionFieldBuffer));
    order.outputPath = m_szOutputPath;
    order.colours =
        m_bConvertToSrgb ? imaging::ColourHandling::ToSrgb : imaging::ColourHandling::KeepStored;
    imaging::RunConversion(*m_pPhoto, order, [this](const imaging::StepFailure& failure) {
        const QString title = failure.step == imaging::Step::Save
                                  ? m_szOutputPath
                                  : g_Language.GetString(IDS_MESSAGE_ERROR);
        Message(g_Language.GetString(res::MessageIdFor(failure.step)), title);
        // A corrected position shows in its field.
        if (failure.step == imaging::Step::TextX)
            SetFieldText(IDC_EDIT_TEXT_X, QStringLiteral("0"));
        if (failure.step == imaging::Step::TextY)
            SetFieldText(IDC_EDIT_TEXT_Y, QStringLiteral("0"));
    });
}

void CLumarisDlg::OnTextPositionLeft(int controlId) {
    if (m_szPhotoPath.isEmpty() || !CheckOutputSize()) return;
    const bool isX = controlId == IDC_EDIT_TEXT_X;
    const int32_t value = ParseIntField(FieldText(controlId), imaging::kPositionFieldBuffer);
    if (value < 0 || value >= (isX ? m_nOutputWidth : m_nOutputHeight)) {
        Message(g_Language.GetString(isX ? IDS_STRING123 : IDS_STRING124),
                g_Language.GetString(IDS_MESSAGE_ERROR));
    }
}

void CLumarisDlg::OnBrowse() {
    const std::optional<QString> chosen =
        m_platform.GetSaveFileName(this, QStringLiteral("Select Output"),
                                   {{QStringLiteral("TIF file"), {QStringLiteral("*.tif")}}},
                                   imaging::SaveDialogFolder(m_strOutputFile));
    if (!chosen) return;
    m_strOutputFile = imaging::WithTifExtension(*chosen);
    m_strOutputFolder = FolderOf(m_strOutputFile);
    m_store.WriteProfileString(settings::kOption, settings::kLastOutputFolder, m_strOutputFolder);
    SetFieldText(IDC_EDIT_OUTPUT_FILE, m_strOutputFile);
}

void CLumarisDlg::OnFont() {
    const std::optional<FontChoice> chosen =
        m_platform.ChooseFont(this, QFontFromLogFont(m_lfText), true);
    if (!chosen) return;
    m_lfText = LogFontFromQFont(chosen->font);
    m_crTextColor = imaging::ColorRefFromColor(chosen->colour);
    qobject_cast<QLabel*>(GetDlgItem(IDC_STATIC_FONT_FACE))->setText(m_lfText.lfFaceName);
}
