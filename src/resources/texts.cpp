#include "resources/texts.h"

#include <array>
#include <memory>
#include <mutex>

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
    {Text::InputAsOutput, u"IDS_STRING151", "%s is an input; an output never replaces one"},
    {Text::OtherOwner, u"IDS_STRING152", "%s belongs to another user; the new file is yours"},
    {Text::OutputExists, u"IDS_STRING153", "%s exists; --overwrite replaces it"},
    {Text::OutOfMemory, u"IDS_STRING154", "out of memory"},
    {Text::StdinUnreadable, u"IDS_STRING155", "cannot read the photo from standard input"},
    {Text::StdinInterrupted, u"IDS_STRING156", "interrupted while reading standard input"},
    {Text::StdinTooLarge, u"IDS_STRING157", "the photo on standard input is larger than %d GB"},
    {Text::NotAReport, u"IDS_STRING158",
     "%s is there and is not a report; --report replaces only reports"},
    {Text::NotAPhotoFormat, u"IDS_STRING159", "not a photo format"},
    {Text::NotAPhotoFormatNamed, u"IDS_STRING160", "not a photo format (%s)"},
    {Text::KindText, u"IDS_STRING161", "text"},
    {Text::KindVideo, u"IDS_STRING162", "video"},
    {Text::KindCameraRaw, u"IDS_STRING163", "camera raw"},
    {Text::EmptyFile, u"IDS_STRING164", "an empty file"},
    {Text::DrawingTooLarge, u"IDS_STRING165", "a drawing of more than %d MB"},
    {Text::NoPixels, u"IDS_STRING166", "no pixels"},
    {Text::FileTooShort, u"IDS_STRING167", "the file is too short for the size it claims"},
    {Text::DecodingOverBudget, u"IDS_STRING168",
     "decoding it whole needs %d MB, more than the memory budget of %d MB"},
    {Text::TooManyPages, u"IDS_STRING169", "a TIFF of more than %s pages"},
    {Text::LibraryFailed, u"IDS_STRING170", "the imaging library failed"},
    {Text::FileChanged, u"IDS_STRING171", "the file changed after it was opened"},
    {Text::NoMemoryForPicture, u"IDS_STRING172", "no memory for the picture"},
    {Text::KindUndecodable, u"IDS_STRING173", "the %s file cannot be decoded"},
    {Text::ColoursNotRgb, u"IDS_STRING174", "the photo's colours cannot be shown as RGB"},
    {Text::Unrenderable, u"IDS_STRING175", "not a picture that can be rendered"},
    {Text::DecodingTooLong, u"IDS_STRING176", "decoding took longer than its %d s budget"},
    {Text::DecodingOverMemory, u"IDS_STRING177", "decoding ran out of its memory budget of %d MB"},
    {Text::KindDecoderFailed, u"IDS_STRING178", "the %s decoder failed on this file"},
    {Text::KindDecoderSilent, u"IDS_STRING179", "the %s decoder gave no answer"},
    {Text::DecoderNotStarted, u"IDS_STRING180", "the decoder %s cannot be started: %s"},
    {Text::DecoderNoSize, u"IDS_STRING181", "the decoder's answer is not a size"},
    {Text::DecoderNoAnswer, u"IDS_STRING182", "the decoder gave no answer"},
    {Text::DecoderEndedEarly, u"IDS_STRING183", "the decoder's answer ended early"},
    {Text::DecoderAnswerDamaged, u"IDS_STRING184", "the decoder's answer is damaged"},
    {Text::DecoderAnswerRefused, u"IDS_STRING185",
     "the decoder's answer is not one the program takes"},
    {Text::DecoderPictureRefused, u"IDS_STRING186",
     "the decoder's picture is not one the program takes"},
    {Text::DecoderPictureUnreadable, u"IDS_STRING187", "the decoder's picture cannot be taken"},
    {Text::PictureOverBudget, u"IDS_STRING188",
     "the picture needs %d MB, more than the %d MB memory budget"},
    {Text::DecoderFailed, u"IDS_STRING189", "the decoder failed"},
    {Text::DecodingPixelsOverBudget, u"IDS_STRING190",
     "decoding %d x %d pixels needs about %d MB, more than the memory budget of %d MB"},
    {Text::RawUndevelopable, u"IDS_STRING191", "the camera raw data cannot be developed"},
    {Text::NoMemoryForRaw, u"IDS_STRING192", "no memory to develop the camera raw file"},
    {Text::NotCameraRaw, u"IDS_STRING193", "not a camera raw file"},
    {Text::MetafileTooManyRecords, u"IDS_STRING194", "a metafile of more than %s records"},
    {Text::MetafileRecordBeyond, u"IDS_STRING195", "a metafile record that does not fit the file"},
    {Text::DrawingTooManyElements, u"IDS_STRING196", "a drawing of more than %s elements"},
    {Text::DrawingReferencesTooMany, u"IDS_STRING197",
     "a drawing whose references show more than %s elements"},
    {Text::DrawingDeclaresTooMuch, u"IDS_STRING198",
     "it declares %s x %s pixels, more than the limit of %s"},
    {Text::DrawingOverBudget, u"IDS_STRING199",
     "drawing it at %d x %d pixels needs %d MB, more than the memory budget of %d MB"},
    {Text::FiltersTooLarge, u"IDS_STRING200",
     "its filters would work over %s megapixels, more than %s"},
    {Text::TextOverBudget, u"IDS_STRING201",
     "the text's %d x %d pixels hold %d MB, more than the memory budget of %d MB"},
    {Text::NoMemoryForText, u"IDS_STRING202", "no memory for the text"},
    {Text::TurnOverBudget, u"IDS_STRING203",
     "turning or mirroring %d x %d pixels holds %d MB, more than the memory budget of %d MB"},
    {Text::TiffOver4GiB, u"IDS_STRING204", "the file would pass 4 GiB"},
    {Text::TiffNotWritten, u"IDS_STRING205", "the TIFF could not be written"},
    {Text::IsAFolder, u"IDS_STRING206", "is a folder"},
    {Text::NotARegularFile, u"IDS_STRING207", "not a regular file"},
    {Text::LargerThan, u"IDS_STRING208", "larger than %d bytes"},
    {Text::CannotWriteBeside, u"IDS_STRING209", "cannot write beside the output"},
    {Text::AlreadyThere, u"IDS_STRING210", "is there already"},
    {Text::PixelsOverOption, u"IDS_STRING211",
     "%s x %s pixels is more than the limit of %s (--max-pixels)"},
    {Text::PixelsOverLimit, u"IDS_STRING212", "%s x %s pixels is more than the limit of %s"},
    {Text::BitmapTooLarge, u"IDS_STRING213",
     "%s x %s pixels is more than a bitmap may hold (%s MB)"},
    {Text::Stopped, u"IDS_STRING214", "stopped"},
    {Text::FileOverGigabytes, u"IDS_STRING215", "a file of more than %d GB"},
    {Text::AbandonedRemoved, u"IDS_STRING216",
     "removed %s, a partial file that a stopped run left"},
    {Text::OutputIsLink, u"IDS_STRING217",
     "is a link; only regular files are replaced (-o - writes to standard output)"},
    {Text::OutputIsDevice, u"IDS_STRING218",
     "not a regular file (a device, pipe or socket); only files are written"},
    {Text::DamagedUnreadable, u"IDS_STRING219",
     "The photo is damaged: none of it can be read, to show or to convert."},
    {Text::AsGiven, nullptr, "%s"},
});

}  // namespace

std::span<const TextEntry> Texts() {
    return kTexts;
}

namespace {

std::mutex g_wordsLock;
std::shared_ptr<const std::vector<QString>> g_words;  // guarded by g_wordsLock

}  // namespace

QString FormatMessage(const QString& format, const QStringList& args) {
    QString result;
    result.reserve(format.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c != u'%' || i + 1 >= format.size()) {
            result.append(c);
            continue;
        }
        const QChar type = format[i + 1];
        if (type == u'%') {
            result.append(u'%');
            ++i;
        } else if ((type == u's' || type == u'd' || type == u'i' || type == u'u') &&
                   next < args.size()) {
            result.append(args[next++]);
            ++i;
        } else {
            result.append(c);
        }
    }
    return result;
}

void SpeakWith(std::vector<QString> words) {
    auto spoken = std::make_shared<const std::vector<QString>>(std::move(words));
    const std::lock_guard lock(g_wordsLock);
    g_words = std::move(spoken);
}

QString Say(Text text, const QStringList& args) {
    std::shared_ptr<const std::vector<QString>> words;
    {
        const std::lock_guard lock(g_wordsLock);
        words = g_words;
    }
    const auto index = size_t(text);
    const QString format = words && index < words->size() && !(*words)[index].isEmpty()
                               ? (*words)[index]
                               : EnglishText(text);
    return FormatMessage(format, args);
}

QString EnglishText(Text text) {
    for (const TextEntry& entry : kTexts)
        if (entry.text == text) return QString::fromUtf8(entry.english);
    return {};
}

}  // namespace res
