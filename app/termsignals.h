// SIGTERM and SIGINT turned into a Qt signal on the main thread, so that the program ends the way
// a confirmed quit does instead of being cut off with its tables open.
#pragma once

#include <QObject>

class QSocketNotifier;

// While one exists, SIGTERM and SIGINT no longer end the process: each arrival raises
// requested() from the event loop. The signal handler only writes one byte to a pipe (the one
// thing it may safely do); everything else happens on the main thread. One instance at a time;
// the previous handlers come back when it is destroyed.
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
