// The application object: a QApplication that keeps exceptions from crossing Qt's event loop.
// An exception leaving an event handler is handed to the program's exception handler (the main
// window installs its own at start-up); until one is installed the standard exception box shows it.
// Creating it makes the Qt dialogs the default dialog service, and gives the process the user's
// locale with UTF-8 characters, but for numbers, which the C library writes with a point.
#pragma once

#include <QApplication>
#include <exception>
#include <functional>

class Application : public QApplication
{
public:
    using ExceptionHandler = std::function<void(QObject* sender, const std::exception& e)>;

    Application(int& argc, char** argv);

    static void setExceptionHandler(ExceptionHandler handler);
    // Hands an exception to the current handler, as an event handler's exception would be.
    static void handleException(QObject* sender, const std::exception& e);

    // The program's request to end (requestTermination() and its companions in
    // platform/process.h).
    static void terminate();
    static bool terminated();
    // Forgets an earlier request (tests that provoke one).
    static void resetTerminated();

    bool notify(QObject* receiver, QEvent* event) override;
};

// Before the application object is made: Qt's file choosers show their files' dates in the form
// of the program's language (French under language 1, Russian under 2), taken from Qt's own
// locale data, so that no system locale is needed for them. The process keeps the user's locale,
// and the programs it starts the user's environment. Where LC_ALL is set, the user's choice
// stands for the dates too.
void useLanguageDates(int language);

// Qt's own texts (standard buttons, file choosers, input boxes) in the program's language: French
// under language 1, Russian under 2, Qt's English otherwise; the language's locale becomes the
// default one too, so that the dates, sizes and days Qt's widgets show follow it. Replaces the
// translation an earlier call installed. False when Qt's translation for the language is not
// installed on this machine.
bool installQtTranslations(int language);
