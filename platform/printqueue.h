// Control of a printer queue by its name: the pause, resume and purge that the virtual-printer
// source asks for. On Windows those keep print jobs in the spool folder and make the spooler
// forget them once taken. On this system nothing hands a queue's jobs to the program, so pausing
// or purging a real queue would only hold back or lose them: the backend in use does nothing
// unless a setting selects another one, and the CUPS backend pauses and resumes but never purges.
#pragma once

#include <QString>

#include <memory>

namespace printqueue {

// The commands, numbered as the Windows printer-control commands are.
enum class Command { Pause = 1, Resume = 2, Purge = 3 };

// What became of a command.
struct Outcome
{
    enum Kind {
        Done,
        Skipped,   // the backend leaves this command to the system (logged once per queue)
        NotOpened, // the queue could not be reached (no server, no such queue)
        Refused,   // the queue was reached but refused the command
    };
    Kind kind = Done;
    // The backend's own error number for NotOpened and Refused (errno, or CUPS's IPP status).
    int error = 0;
    // One readable line for the log.
    QString reason;
};

class Backend
{
public:
    virtual ~Backend() = default;
    // A short name for the log ("none", "CUPS").
    virtual QString name() const = 0;
    // Carries out the command on the queue named `queue`. Never raises; waits are bounded.
    virtual Outcome control(const QString& queue, Command command) = 0;
};

// The backend in use: the one that does nothing until another is set.
Backend& current();
// Puts `backend` in use; nullptr puts the one that does nothing back.
void setCurrent(std::unique_ptr<Backend> backend);

// Leaves every queue alone; logs once per queue that it does.
std::unique_ptr<Backend> makeInert();
// Pauses and resumes CUPS queues through the CUPS server the user's client settings name (the
// environment's CUPS_SERVER, or the local server); never purges. nullptr when this build has
// no CUPS.
std::unique_ptr<Backend> makeCups();

// Selects the backend a setting names: "CUPS" (any case) the CUPS backend, anything else the one
// that does nothing. False, with the inert backend in use and the reason logged, when the
// setting names a backend this build lacks.
bool select(const QString& setting);

// For backends: writes `text` to the operations log the first time it is given for `queue` by
// the backend `backend`, and never again while the program runs.
void logOncePerQueue(const QString& backend, const QString& queue, const QString& text);

} // namespace printqueue
