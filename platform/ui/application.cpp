// Exception routing of the application object; it also installs the Qt dialogs.
#include "application.h"
#include "qtdialogs.h"

#include <platform/dialogs.h>
#include <platform/exception.h>
#include <platform/process.h>

namespace {
Application::ExceptionHandler& handlerSlot()
{
    static Application::ExceptionHandler handler;
    return handler;
}

class UnknownException : public Exception
{
public:
    UnknownException() : Exception(QStringLiteral("Unknown exception")) {}
};
} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    useQtDialogs();
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
    dialogService().showException(exceptionMessage(e));
}

void Application::terminate()
{
    requestTermination();
}

bool Application::terminated()
{
    return terminationRequested();
}

void Application::resetTerminated()
{
    clearTerminationRequest();
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
