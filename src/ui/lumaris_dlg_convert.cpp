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
#include "imaging/photo.h"
#include "imaging/size_rules.h"
#include "resources/resource.h"
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
        const QString question = FormatMessage(g_Language.GetString(IDS_STRING120), {m_strOutputFile});
        if (Message(question, g_Language.GetString(IDS_MESSAGE_WARNING), MsgButtons::YesNo,
                    MsgIcon::Exclamation) != MsgResult::Yes)
            return;
        // The old file stays until a complete new one replaces it (see Save).
    }
    const WaitCursor wait;
    ConvertPhoto();
}

void CLumarisDlg::ConvertPhoto() {
    const QString error = g_Language.GetString(IDS_MESSAGE_ERROR);
    if (!CheckOutputSize()) return;

    const std::unique_ptr<imaging::Bitmap> bitmap =
        imaging::Bitmap::Create(m_nOutputWidth, m_nOutputHeight);
    if (!bitmap) {
        // A bitmap that cannot be made fails each step that uses it in turn.
        Message(g_Language.GetString(IDS_STRING113), error);
        Message(g_Language.GetString(IDS_STRING114), error);
        Message(g_Language.GetString(IDS_STRING115), error);
        return;
    }
    if (!bitmap->SetResolution(m_pPhoto->HorizontalResolution()))
        Message(g_Language.GetString(IDS_STRING113), error);
    if (!bitmap->DrawScaled(*m_pPhoto)) {
        Message(g_Language.GetString(IDS_STRING115), error);
        return;
    }

    const QString text = FieldText(IDC_EDIT_TEXT);
    QPoint position;
    if (!text.isEmpty() && TextPositionForOutput(&position)) {
        bitmap->DrawText(text, QFontFromLogFont(m_lfText), imaging::ColorFromColorRef(m_crTextColor),
                         position);
    }

    // An unknown angle or flip (a hand-edited store) turns nothing at all.
    if (!imaging::IsKnownAngle(m_nRotateAngle)) Message(g_Language.GetString(IDS_STRING116), error);
    const int rotateFlip = imaging::RotateFlipFor(m_nRotateAngle, m_nFlipType).value_or(imaging::RotateNoneFlipNone);
    if (!bitmap->RotateFlip(rotateFlip)) Message(g_Language.GetString(IDS_STRING117), error);

    const std::optional<imaging::Encoder> encoder = imaging::FindEncoder(QStringLiteral("image/tiff"));
    UpdateData(true);
    // The whole path is used: a shortened one would name another file.
    m_szOutputPath = FieldText(IDC_EDIT_OUTPUT_FILE);
    if (!encoder || !bitmap->Save(m_szOutputPath, *encoder))
        Message(g_Language.GetString(IDS_STRING118), m_szOutputPath);
}

bool CLumarisDlg::TextPositionForOutput(QPoint* position) {
    int32_t x = ParseIntField(FieldText(IDC_EDIT_TEXT_X), imaging::kPositionFieldBuffer);
    int32_t y = ParseIntField(FieldText(IDC_EDIT_TEXT_Y), imaging::kPositionFieldBuffer);
    if (x < 0 || x >= m_nOutputWidth) {
        Message(g_Language.GetString(IDS_STRING130), g_Language.GetString(IDS_MESSAGE_ERROR));
        x = 0;
        SetFieldText(IDC_EDIT_TEXT_X, QStringLiteral("0"));
    }
    if (y < 0 || y >= m_nOutputHeight) {
        Message(g_Language.GetString(IDS_STRING131), g_Language.GetString(IDS_MESSAGE_ERROR));
        y = 0;
        SetFieldText(IDC_EDIT_TEXT_Y, QStringLiteral("0"));
    }
    *position = QPoint(x, y);
    return true;
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
    const std::optional<QString> chosen = m_platform.GetSaveFileName(
        this, QStringLiteral("Select Output"), {{QStringLiteral("TIF file"), {QStringLiteral("*.tif")}}},
        imaging::SaveDialogFolder(m_strOutputFile));
    if (!chosen) return;
    m_strOutputFile = imaging::WithTifExtension(*chosen);
    m_strOutputFolder = FolderOf(m_strOutputFile);
    m_store.WriteProfileString(settings::kOption, settings::kLastOutputFolder, m_strOutputFolder);
    SetFieldText(IDC_EDIT_OUTPUT_FILE, m_strOutputFile);
}

void CLumarisDlg::OnFont() {
    const std::optional<FontChoice> chosen = m_platform.ChooseFont(this, QFontFromLogFont(m_lfText), true);
    if (!chosen) return;
    m_lfText = LogFontFromQFont(chosen->font);
    m_crTextColor = imaging::ColorRefFromColor(chosen->colour);
    qobject_cast<QLabel*>(GetDlgItem(IDC_STATIC_FONT_FACE))->setText(m_lfText.lfFaceName);
}
