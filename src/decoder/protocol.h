#pragma once

// What the program and its decoder process say to each other. The program
// starts tessiva-decode with a request on its command line and the photo's
// bytes on its standard input; the answer comes back on its standard output:
// a refusal with its reason, the photo's size, or a picture with its pixels.

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <variant>

#include <vips/vips8>

#include "decoder/limits.h"
#include "resources/texts.h"

class QIODevice;

namespace decoder {

/// What is asked of a photo.
enum class Operation {
    Probe,    // its size and frames
    Preview,  // a frame scaled to exactly the size given, proportions ignored
    Frame,    // a frame whole, a drawing rendered for the size given
    Check,    // a frame decoded to nothing: its size, or why it does not decode
};

struct Request {
    QString kind;  // "svg", "wmf", "emf", "heif", "jxl", "jp2" or "raw"
    Operation operation = Operation::Probe;
    int page = 0;
    QSize size;  // Preview and Frame
    Limits limits;
    int seconds = 10;     // processor time the decoder may spend
    bool strict = false;  // fail at the first damage the decoder notices

    QStringList Arguments() const;
    /// The request @p arguments make, or nothing when they make none.
    static std::optional<Request> FromArguments(const QStringList& arguments);
};

/// A photo's size as stored, and its frames.
struct Probe {
    int width = 0;
    int height = 0;
    int pages = 1;
    int orientation = 1;  // the camera's orientation tag, 1 when none
};

/// Why the decoder would not or could not decode a photo.
struct Refusal {
    res::Saying reason;   // said where it is shown: the decoder speaks no language
    bool damage = false;  // damage a lenient reading may get past
};

using Answer = std::variant<Refusal, Probe, vips::VImage>;

/// Writes @p answer to @p out; a picture is computed as it is written.
/// False when writing (or computing) failed.
bool WriteAnswer(QIODevice& out, const Answer& answer);

/// Reads an answer from @p in, waiting with @p waitForData (false: no more
/// data will come). A picture larger than @p limits allow is refused.
Answer ReadAnswer(QIODevice& in, const Limits& limits, const std::function<bool()>& waitForData);

/// Writes, after the answer, the processor time the decoder spent on it.
bool WriteSpentTime(QIODevice& out, int64_t milliseconds);

/// The processor time a decoder said it spent, from what followed its
/// answer; nothing when it said nothing (it was stopped before).
std::optional<int64_t> ReadSpentTime(const QByteArray& trailer);

}  // namespace decoder
