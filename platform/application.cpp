// Exception routing of the application object.
#include "application.h"

#include "exception.h"
#include "ui.h"

#include <QThread>

#include <atomic>

namespace {
Application::ExceptionHandler& handlerSlot()
{
    static Application::ExceptionHandler handler;
    return handler;
}

std::atomic<bool> terminateRequested{false};

class UnknownException : public Exception
{
public:
    UnknownException() : Exception(QStringLiteral("Unknown exception")) {}
};
} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
}

void Application::setExceptionHandler(ExceptionHandler handler)
{
    handlerSlot() = std::move(handler);
}

void Application::handleException(QObject* sender, const std::exception& e)
{
    if (dynamic_cast<const EAbort*>(&e))
        return; // the silent exception ends an operation without a word
    if (handlerSlot()) {
        handlerSlot()(sender, e);
        return;
    }
    Dialogs().showException(ExceptionMessage(e));
}

void Application::terminate()
{
    terminateRequested = true;
    // Only a running loop can be told to end; before it starts, start-up reads the flag.
    if (QCoreApplication::instance() && QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

bool Application::terminated()
{
    return terminateRequested;
}

void Application::resetTerminated()
{
    terminateRequested = false;
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        handleException(receiver, e);
    } catch (...) {
        handleException(receiver, UnknownException());
    }
    return false;
}
