#pragma once

// The program's messages and words, named for what they say, with the key a
// language file holds each under and the built-in English text.

#include <QString>
#include <span>

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
    Count  // not a text: how many there are
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

}  // namespace res
