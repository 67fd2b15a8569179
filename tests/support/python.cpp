// Running Debian's Python for a test.
#include "python.h"

#include <QProcess>

#include <gtest/gtest.h>

QString runPython(const QString& script, const QStringList& arguments)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral("-c"), script} + arguments);
    const bool finished = python.waitForFinished(60000);
    EXPECT_TRUE(finished) << "python did not end";
    EXPECT_EQ(python.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QString::fromUtf8(python.readAllStandardOutput());
}
