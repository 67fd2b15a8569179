// The running process: the request to end it, whether it comes from the program or from the
// system (SIGTERM, SIGINT), and the user it runs for.
#pragma once

#include <QObject>
#include <QString>

// Asks the program to end: terminationRequested() stays true from then on, and an event loop that
// runs is told to end. Start-up code that has not reached its event loop yet checks the flag and
// stops. Needs no application object.
void requestTermination();
bool terminationRequested();
// Forgets an earlier request (tests that provoke one).
void clearTerminationRequest();

// The login name of the user the process runs for; the numeric user id when it has none.
QString loginName();

// The user's private runtime folder: the one XDG_RUNTIME_DIR names, when it is a folder of this
// user that nobody else may enter (no access for group or others); empty otherwise.
QString privateRuntimeDir();

// What is found at the place of a local socket.
enum class LocalSocketPlace {
    Free,         // nothing
    ThisUsers,    // a socket of the user the process runs for
    AnotherUsers, // a socket of another user
    NotASocket,   // something else (a file, a folder, a link), left alone
};
LocalSocketPlace localSocketPlace(const QString& path);

// Lets heap memory the program frees stay with the process, up to 64 MB, for its next
// allocations, instead of going back to the system at once: a dataset of a few hundred thousand
// rows freed and loaded again would otherwise have every page of it handed out and cleared anew,
// about a fifth of the load's time. Small freed blocks are merged at once rather than in one
// long pass later. Called once at start-up, before the first allocations of any size; where the
// C library offers no such setting it does nothing.
void keepFreedMemory();

// An advisory lock on a folder, held while the object lives: the one process working on that
// folder. It is taken on the folder's file ".quorvane.lock", private to the user (on the folder
// itself where that file cannot be made). The system drops it when the process ends, however it
// ends, so a process killed earlier keeps nobody out. Processes the program starts do not
// inherit it.
class FolderLock
{
public:
    enum class State {
        Held,          // this process holds the lock
        HeldElsewhere, // another process holds it
        Unavailable,   // the folder cannot be locked here (error() says why)
    };

    explicit FolderLock(const QString& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    State state() const { return m_state; }
    QString error() const { return m_error; }

private:
    int m_handle = -1;
    State m_state = State::Unavailable;
    QString m_error;
};

class QSocketNotifier;

// While one exists, the system's requests to end (SIGTERM and SIGINT) no longer end the process:
// each arrival raises requested() from the event loop, so that the program ends the way a
// confirmed quit does instead of being cut off with its tables open. The signal handler only
// writes one byte to a pipe (the one thing it may safely do); everything else happens on the main
// thread. One instance at a time; the previous handlers come back when it is destroyed.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void requested(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
};
