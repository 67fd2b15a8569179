// Exception routing of the application object.
#include "application.h"

#include "exception.h"
#include "ui.h"

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

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

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
    const auto* ex = dynamic_cast<const Exception*>(&e);
    Dialogs().showException(ex ? ex->message() : QString::fromLocal8Bit(e.what()));
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
