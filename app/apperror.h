// The program's answer to unexpected exceptions: the application's exception handler and the
// reporting of one exception (log, message boxes, the error window).
#pragma once

#include <platform/exception.h>

#include <QObject>
#include <QString>
#include <exception>

// Reports one exception: a field-editing or conversion error in the standard exception box; the
// database engine's lock and damage conditions in their own boxes; anything else in the error
// window, logged with what the user typed there.
void LogException(const std::exception& e);

// The application's exception handler (the main window's): runs LogException unless it is
// already running, in which case the second exception is ignored. While reports are held (see
// HeldReports) it logs the exception at once and holds its box, unless its cause was told
// already.
void AppException(QObject* sender, const std::exception& e);

// While one lives (the polling loop holds one over each tick), no report waits for the user: its
// log lines are written at once and its box waits for ShowHeldReports. So a failure that comes
// back at every tick (a lock held by another program, a full disk) never stops the polling: its
// box is shown once, and the ticks that run while it waits for its OK go on taking files.
class HeldReports
{
public:
    HeldReports();
    ~HeldReports();
    HeldReports(const HeldReports&) = delete;
    HeldReports& operator=(const HeldReports&) = delete;
};

// Shows the held boxes one after the other, and those held meanwhile, unless reports are still
// held or a box is already being shown (its loop takes them). Stops when the program is asked to
// end.
void ShowHeldReports();
// Held boxes wait and none is being shown.
bool HeldReportsWaiting();
// The sources work again (a document was registered): a cause that comes back is told again,
// unless its box is still open or waiting.
void ForgetToldCauses();
// A new main window: the held boxes and the causes told are forgotten.
void DiscardHeldReports();
