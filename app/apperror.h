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
// already running, in which case the second exception is ignored.
void AppException(QObject* sender, const std::exception& e);
