#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <vector>

#include "imaging/execute.h"

class QWidget;

namespace ui {

/// What a conversion came to: whether the TIFF was written, and each failure
/// or correction in the order it happened.
struct ConversionOutcome {
    bool saved = false;
    bool stopped = false;  // the user stopped it
    std::vector<imaging::StepFailure> failures;
    QString damage;  // the photo proved damaged and was converted as far as it read: why
};

/// The words of the progress shown while a conversion takes a while.
struct ProgressWords {
    QString label;  // what is going on
    QString stop;   // the button that stops it
};

/// The wait cursor for as long as it lives.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

/// Work done beside the window: it gives up when the stop is set, and sets
/// the progress (0 to 100) when it can tell how far it got.
using Work = std::function<void(const std::atomic<bool>& stop, std::atomic<int>& progress)>;

/// Runs @p work on a thread of its own and returns when it has finished,
/// true when the user stopped it. Meanwhile @p window keeps painting but takes
/// no input (clicks and keys are dropped, not queued), and once the work has
/// taken half a second a progress dialog shows how far it got, with a button
/// that stops it.
bool RunBeside(QWidget& window, const Work& work, const ProgressWords& words);

/// Executes @p plan on @p photo into @p output (despite damage, as far as
/// the photo reads) on a thread of its own and returns when it has
/// finished. Meanwhile @p window keeps painting but takes no input (clicks and
/// keys are dropped, not queued), and once the work has taken half a second
/// a progress dialog shows how far it got, with a button that stops it; a
/// stopped conversion leaves no file and the older output as it was.
ConversionOutcome RunWithoutFreezing(QWidget& window, const imaging::Photo& photo,
                                     const imaging::ConversionPlan& plan, imaging::Budget budget,
                                     const imaging::Output& output, const ProgressWords& words);

}  // namespace ui
