// The conversion commands of the main dialog: Convert, Browse, the overlay
// font and the text position checks.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include "frontend/size_rules.h"
#include "frontend/step_messages.h"
#include "host/base_folder.h"
#include "i18n/language.h"
#include "imaging/execute.h"
#include "imaging/photo.h"
#include "imaging/text_position.h"
#include "resources/resource.h"
#include "settings/keys.h"
#include "settings/store.h"
#include "ui/conversion_run.h"
#include "ui/main_dialog.h"
#include "ui/main_dialog_names.h"

namespace ui {

QString WithReason(const QString& message, const QString& reason) {
    // On a line of its own the reason reads as a sentence: "Is a folder".
    return reason.isEmpty() ? message : message + u'\n' + reason.left(1).toUpper() + reason.mid(1);
}

void MainDialog::OnConvert() {
    if (m_photoPath.isEmpty()) {
        Message(g_Language.GetString(Text::OpenPhotoFirst),
                g_Language.GetString(Text::ErrorCaption));
        return;
    }
    ReadOutputFile();
    if (FileExists(m_outputFile)) {
        const QString question =
            FormatMessage(g_Language.GetString(Text::ReplaceQuestion), {m_outputFile});
        if (Message(question, g_Language.GetString(Text::WarningCaption), MsgButtons::YesNo,
                    MsgIcon::Exclamation) != MsgResult::Yes)
            return;
        // The old file stays until a complete new one replaces it (see Save).
    }
    const WaitCursor wait;
    ConvertPhoto();
}

void MainDialog::ConvertPhoto() {
    if (!CheckOutputSize()) return;
    ReadOutputFile();
    // The whole path is used: a shortened one would name another file.
    m_outputPath = m_outputFile;

    imaging::Budget budget;
    budget.limits = PhotoLimits();
    // The work runs beside the window; what it has to say is said once it is done.
    const ConversionOutcome outcome = RunWithoutFreezing(
        *this, *m_photo,
        imaging::PlanConversion(imaging::FactsOf(*m_photo),
                                RequestFor(QSize(m_outputWidth, m_outputHeight))),
        budget, {m_outputPath},
        {g_Language.GetString(Text::Converting), g_Language.GetString(Text::StopButton)});
    // Stopped by the user, who needs no word of it: the older output stands.
    if (outcome.stopped) return;
    for (const imaging::StepFailure& failure : outcome.failures) {
        const QString title = failure.step == imaging::Step::Save
                                  ? m_outputPath
                                  : g_Language.GetString(Text::ErrorCaption);
        Message(
            WithReason(g_Language.GetString(frontend::MessageFor(failure.step)), failure.reason),
            title);
        // A corrected position shows in its field.
        if (failure.step == imaging::Step::TextX) m_controls.textX->setText(QStringLiteral("0"));
        if (failure.step == imaging::Step::TextY) m_controls.textY->setText(QStringLiteral("0"));
    }
    if (outcome.saved && !outcome.damage.isEmpty()) WarnOfDamage(outcome.damage);
}

void MainDialog::WarnOfDamage(const QString& reason, bool shown) {
    Message(WithReason(g_Language.GetString(shown ? Text::DamagedShown : Text::DamagedUnreadable),
                       reason),
            g_Language.GetString(Text::WarningCaption), MsgButtons::Ok, MsgIcon::Exclamation);
}

imaging::ConversionRequest MainDialog::RequestFor(QSize output) const {
    imaging::ConversionRequest request;
    request.output = output;
    request.angle = m_rotateAngle;
    request.flipType = m_flipType;
    request.text = m_controls.text->text();
    request.font = m_textFont;
    request.colour = m_textColour;
    request.placement.margin = TypedTextPosition();
    request.textUpright = m_textUpright;
    request.metadata = m_metadata == 1   ? imaging::MetadataChoice::All
                       : m_metadata == 2 ? imaging::MetadataChoice::None
                                         : imaging::MetadataChoice::Rights;
    request.colours =
        m_convertToSrgb ? imaging::ColourHandling::ToSrgb : imaging::ColourHandling::KeepStored;
    return request;
}

void MainDialog::OnTextPositionLeft(const QLineEdit* field) {
    if (m_photoPath.isEmpty() || !CheckOutputSize()) return;
    const bool isX = field == m_controls.textX;
    // Upright text is placed in the output as it is seen: turned, and as a
    // viewer turns it by the camera's tag when that is carried.
    const QSize output(m_outputWidth, m_outputHeight);
    const imaging::ConversionPlan plan =
        imaging::PlanConversion(imaging::FactsOf(*m_photo), RequestFor(output));
    const imaging::PositionFit fit = imaging::FitOf(
        TypedTextPosition(), m_textUpright ? plan.view.Applied(plan.output) : output);
    if ((isX ? fit.x : fit.y) != imaging::Fit::Inside) {
        Message(g_Language.GetString(isX ? Text::TextXOutside : Text::TextYOutside),
                g_Language.GetString(Text::ErrorCaption));
    }
}

void MainDialog::OnBrowse() {
    const std::optional<QString> chosen =
        m_platform.GetSaveFileName(this, QStringLiteral("Select Output"),
                                   {{QStringLiteral("TIF file"), {QStringLiteral("*.tif")}}},
                                   frontend::SaveDialogFolder(m_outputFile));
    if (!chosen) return;
    m_outputFile = frontend::WithTifExtension(*chosen);
    m_outputFolder = FolderOf(m_outputFile);
    m_store.Set(settings::kLastOutputFolder, m_outputFolder);
    m_controls.outputFile->setText(m_outputFile);
}

void MainDialog::OnFont() {
    const std::optional<FontChoice> chosen = m_platform.ChooseFont(this, m_textFont, true);
    if (!chosen) return;
    m_textFont = settings::ResolvedFont(chosen->font);
    m_textColour = QColor(chosen->colour.rgb());
    m_controls.fontFace->setText(m_textFont.family());
    ShowPreview();
}

}  // namespace ui
