// The program's own request to end.
#include "process.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>

namespace {
std::atomic<bool> terminateRequested{false};
}

void requestTermination()
{
    terminateRequested = true;
    // Only a running loop can be told to end; before it starts, start-up reads the flag.
    if (QCoreApplication::instance() && QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

bool terminationRequested()
{
    return terminateRequested;
}

void clearTerminationRequest()
{
    terminateRequested = false;
}
