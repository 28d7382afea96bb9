#include "resources/texts.h"

#include <array>

namespace res {
namespace {

// The keys are the language files' and cannot change; a text without one is
// always English.
constexpr auto kTexts = std::to_array<TextEntry>({
    {Text::LanguageName, u"IDS_LANGUAGE", "English"},
    {Text::ErrorCaption, u"IDS_MESSAGE_ERROR", "Error"},
    {Text::WarningCaption, u"IDS_MESSAGE_WARNING", "Warning"},
    {Text::UnknownErrorCaption, u"IDS_MESSAGE_UNKNOWN_ERROR", "Unknown error"},
    {Text::OpenPhotoFirst, u"IDS_STRING108", "Please open a photo file first!"},
    {Text::WidthInvalid, u"IDS_STRING111", "The output width is invalid!"},
    {Text::HeightInvalid, u"IDS_STRING112", "The output hight is invalid!"},
    {Text::ConvertFailed, u"IDS_STRING115", "Failed to convert photo!"},
    {Text::UnknownAngle, nullptr, "Unknown rotate angle!"},
    {Text::TurnFailed, nullptr, "Failed to rotate and flip photo!"},
    {Text::SaveFailed, u"IDS_STRING118", "Failed to save the file!"},
    {Text::ReplaceQuestion, u"IDS_STRING120", "%s exists. Do you want to replace it?"},
    {Text::FrameInvalid, u"IDS_STRING121", "The frame number is invalid. Please enter again!"},
    {Text::FrameRange, u"IDS_STRING122", "Set frame from 0 to %d"},
    {Text::TextXOutside, u"IDS_STRING123", "The text position X is out of range!"},
    {Text::TextYOutside, u"IDS_STRING124", "The text position Y is out of range!"},
    {Text::NoWidth, u"IDS_STRING126", "Can not get the width of the photo!"},
    {Text::NoHeight, u"IDS_STRING127", "Can not get the height of the photo!"},
    {Text::TextXBeyondWidth, u"IDS_STRING128",
     "The text position X is bigger than the photo width!, The program set it to 0 now."},
    {Text::TextYBeyondHeight, u"IDS_STRING129",
     "The text position Y is bigger than the photo height!, The program set it to 0 now."},
    {Text::TextXSetToZero, u"IDS_STRING130",
     "The text position X is out of range! The program set it to 0 now."},
    {Text::TextYSetToZero, u"IDS_STRING131",
     "The text position Y is out of range! The program set it to 0 now."},
    {Text::Summary, u"IDS_STRING132", "Converted %d of %d photos"},
    {Text::FailedCount, u"IDS_STRING133", "%d failed"},
    {Text::Interrupted, u"IDS_STRING134", "interrupted"},
    {Text::OutputCollision, u"IDS_STRING135", "would overwrite %s, written for %s"},
    {Text::DamagedPhoto, u"IDS_STRING136",
     "warning: the photo is damaged; converted what could be read"},
    {Text::SkippedCount, u"IDS_STRING137", "%d skipped"},
    {Text::Converting, u"IDS_STRING138", "Converting the photo..."},
    {Text::StopButton, u"IDS_STRING139", "Stop"},
    {Text::CameraTurnedNote, u"IDS_STRING140",
     "note: the camera recorded this photo turned (orientation %d); it was written as stored, "
     "and --auto-orient sets it upright"},
    {Text::CameraTurnedMark, u"IDS_STRING141", "turned by the camera"},
    {Text::NotStartedCount, u"IDS_STRING142", "%d not started"},
    {Text::Opening, u"IDS_STRING143", "Opening the photo..."},
    {Text::PreviewName, u"IDS_STRING144", "Preview"},
    {Text::FrameName, u"IDS_STRING145", "Frame"},
    {Text::DamagedShown, u"IDS_STRING146",
     "The photo is damaged: only what could be read is shown and converted."},
    {Text::ResultTitle, u"IDS_STRING147", "The result at full size"},
    {Text::FitButton, u"IDS_STRING148", "Fit"},
    {Text::ActualSizeButton, u"IDS_STRING149", "Actual size"},
    {Text::CloseButton, u"IDS_STRING150", "Close"},
});

}  // namespace

std::span<const TextEntry> Texts() {
    return kTexts;
}

QString EnglishText(Text text) {
    for (const TextEntry& entry : kTexts)
        if (entry.text == text) return QString::fromUtf8(entry.english);
    return {};
}

}  // namespace res
