#pragma once

// The program's messages and words, named for what they say, with the key a
// language file holds each under and the built-in English text.

#include <QString>
#include <QStringList>
#include <span>
#include <vector>

namespace res {

enum class Text {
    LanguageName,         // the language's own name
    ErrorCaption,         // message boxes
    UnknownErrorCaption,  //
    WarningCaption,       //
    OpenPhotoFirst,       // Convert without a photo
    WidthInvalid,         // output size fields
    HeightInvalid,        //
    ConvertFailed,        // conversion steps
    UnknownAngle,         //
    TurnFailed,           //
    SaveFailed,           //
    ReplaceQuestion,      // the output exists
    FrameInvalid,         // frame field
    FrameRange,           //
    TextXOutside,         // text position fields
    TextYOutside,         //
    NoWidth,              // a photo that does not open
    NoHeight,             //
    TextXBeyondWidth,     // text positions set to 0
    TextYBeyondHeight,    //
    TextXSetToZero,       //
    TextYSetToZero,       //
    Summary,              // the command line's closing line
    FailedCount,          //
    Interrupted,          //
    OutputCollision,      //
    DamagedPhoto,         //
    SkippedCount,         //
    Converting,           // the window's progress
    StopButton,           //
    CameraTurnedNote,     // a photo the camera turned, written as stored
    CameraTurnedMark,     // ... as the preview marks it
    NotStartedCount,      // the command line's closing line, interrupted
    Opening,              // the window's progress while a photo opens
    PreviewName,          // what screen readers call the preview
    FrameName,            // ... and the frame fields
    DamagedShown,         // a photo opened or converted as far as it could be read
    ResultTitle,          // the window of the result at full size
    FitButton,            // ... its sizes
    ActualSizeButton,
    CloseButton,
    InputAsOutput,  // why a photo was not converted
    OtherOwner,
    OutputExists,
    OutOfMemory,
    StdinUnreadable,
    StdinInterrupted,
    StdinTooLarge,
    NotAReport,
    NotAPhotoFormat,  // ... what a file is instead
    NotAPhotoFormatNamed,
    KindText,
    KindVideo,
    KindCameraRaw,
    EmptyFile,
    DrawingTooLarge,
    NoPixels,  // ... what a photo's decoding met
    FileTooShort,
    DecodingOverBudget,
    TooManyPages,
    LibraryFailed,
    FileChanged,
    NoMemoryForPicture,
    KindUndecodable,
    ColoursNotRgb,
    Unrenderable,
    DecodingTooLong,
    DecodingOverMemory,
    KindDecoderFailed,
    KindDecoderSilent,
    DecoderNotStarted,
    DecoderNoSize,
    DecoderNoAnswer,
    DecoderEndedEarly,
    DecoderAnswerDamaged,
    DecoderAnswerRefused,
    DecoderPictureRefused,
    DecoderPictureUnreadable,
    PictureOverBudget,
    DecoderFailed,
    DecodingPixelsOverBudget,
    RawUndevelopable,
    NoMemoryForRaw,
    NotCameraRaw,
    MetafileTooManyRecords,
    MetafileRecordBeyond,
    DrawingTooManyElements,
    DrawingReferencesTooMany,
    DrawingDeclaresTooMuch,
    DrawingOverBudget,
    FiltersTooLarge,
    TextOverBudget,  // ... what converting met
    NoMemoryForText,
    TurnOverBudget,
    TiffOver4GiB,
    TiffNotWritten,
    IsAFolder,  // ... what a file's name leads to
    NotARegularFile,
    LargerThan,
    CannotWriteBeside,
    AlreadyThere,
    PixelsOverOption,
    PixelsOverLimit,
    BitmapTooLarge,
    Stopped,
    FileOverGigabytes,
    AbandonedRemoved,  // the converter's note of what it cleared away
    OutputIsLink,
    OutputIsDevice,
    DamagedUnreadable,  // a photo opened of which nothing could be read
    AsGiven,            // a text said as it is: a library's own words
    Count               // not a text: how many there are
};
inline constexpr int kTextCount = int(Text::Count);

struct TextEntry {
    Text text;
    const char16_t* fileKey;  // in a language file's [STRING] section; nullptr: not translated
    const char* english;
};

/// Every text, in the order language files list them.
std::span<const TextEntry> Texts();

/// The built-in English of @p text.
QString EnglishText(Text text);

/// @p format with its %s and %d (and %i, %u) filled in order from @p args;
/// "%%" is a percent sign. Extra placeholders stay as they are.
QString FormatMessage(const QString& format, const QStringList& args);

/// Makes @p words, one per text in the order of Text, what Say speaks; until
/// then it speaks English. Any thread may be saying something meanwhile.
void SpeakWith(std::vector<QString> words);

/// @p text in the program's language, filled from @p args: the words for
/// reasons made far from the front ends (a file, a decoder, a library).
QString Say(Text text, const QStringList& args = {});

/// A text to be said later, perhaps by another process: its name and fillings,
/// or words already said, to be repeated as they are.
struct Saying {
    Saying() = default;
    Saying(Text text, QStringList args = {}) : text(text), args(std::move(args)) {}
    Saying(QString said) : args{std::move(said)} {}  // NOLINT: words already said
    QString Said() const { return Say(text, args); }

    Text text = Text::AsGiven;
    QStringList args;
};

}  // namespace res
