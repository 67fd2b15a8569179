// Debian's own Python (where the packages the tests read files with are installed), run on a
// script of the test's.
#pragma once

#include <QString>
#include <QStringList>

// What the script prints on its standard output; a script that fails, or that runs longer than a
// minute, fails the test (with what it printed on its error output).
QString runPython(const QString& script, const QStringList& arguments = {});
