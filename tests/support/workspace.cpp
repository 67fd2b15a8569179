// The temporary working folder used by tests.
#include "workspace.h"

#include <platform/clock.h>
#include <platform/codepage.h>
#include <platform/regional.h>
#include <platform/support/globals.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

QDateTime TestWorkspace::fixedNow()
{
    return QDateTime(QDate(2026, 12, 6), QTime(22, 10, 46));
}

TestWorkspace::TestWorkspace(int language) : m_savedWorkPath(WorkPath)
{
    WorkPath = root();
    BufDir = WorkPath + QStringLiteral("buf/");
    ExchangeDir = WorkPath + QStringLiteral("exchange/");
    ComBufDir = WorkPath + QStringLiteral("com_buf/");
    DataDir = WorkPath + QStringLiteral("data");
    clock::setFixed(fixedNow());
    setRegionalLanguage(language);
    codepage::setCurrent(codepage::forLanguage(language));
}

TestWorkspace::~TestWorkspace()
{
    clock::reset();
    setRegionalLanguage(1);
    codepage::setCurrent(codepage::Cp1252);
    WorkPath = m_savedWorkPath;
    BufDir.clear();
    ExchangeDir.clear();
    ComBufDir.clear();
    DataDir.clear();
}

QString TestWorkspace::root() const
{
    return m_dir.path() + QLatin1Char('/');
}

QString TestWorkspace::path(const QString& relative) const
{
    return root() + relative;
}

QByteArray TestWorkspace::operationsLog() const
{
    return readFileBytes(path("QUORVANE.LOG"));
}

QByteArray readFileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

void setModified(const QString& path, const QDateTime& when)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(when, QFileDevice::FileModificationTime))
        << path.toStdString();
}

QByteArray testData(const QString& relative)
{
    return readFileBytes(QStringLiteral(QUORVANE_TEST_DATA "/") + relative);
}
