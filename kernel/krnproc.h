// The kernel's support routines.
#pragma once

#include <QString>

// The SQL script text with every script variable matched by "@[A-Za-z0-9_]+\W" upper-cased
// (with the character after the name) in the program's ANSI code page rules; the rest is kept.
// A variable that ends the text has no character after it and so stays as it is.
QString UpperCaseSQLVariables(const QString& text);
