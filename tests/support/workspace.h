// A throw-away working folder for one test: WorkPath and the other workstation folders point into
// a temporary folder, the clock stands still at a known moment, and the French regional settings
// and code page are in force. Everything is put back on destruction.
#pragma once

#include <platform/codepage.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

class TestWorkspace
{
public:
    // The moment the clock shows: 6 December 2026, 22:10:46.
    static QDateTime fixedNow();

    explicit TestWorkspace(int language = 1);
    ~TestWorkspace();
    TestWorkspace(const TestWorkspace&) = delete;
    TestWorkspace& operator=(const TestWorkspace&) = delete;

    // The temporary folder, with a trailing "/".
    QString root() const;
    // A path inside it.
    QString path(const QString& relative) const;
    // The operations log's bytes (empty when it does not exist).
    QByteArray operationsLog() const;

private:
    QTemporaryDir m_dir;
    QString m_savedWorkPath;
};

// Reads a whole file; empty when it does not exist.
QByteArray readFileBytes(const QString& path);
// Writes a whole file, creating the folders on the way.
void writeFileBytes(const QString& path, const QByteArray& bytes);
// Gives a file the modification time of one saved anew at `when`, as an exporting program or
// Breeze would leave it.
void setModified(const QString& path, const QDateTime& when);
// A file of the hand-written test data (tests/data), by its path there.
QByteArray testData(const QString& relative);

// The program's code page set for one scope, and the previous one put back at its end.
class CodePageScope
{
public:
    explicit CodePageScope(codepage::CodePage cp) : m_saved(codepage::current())
    {
        codepage::setCurrent(cp);
    }
    ~CodePageScope() { codepage::setCurrent(m_saved); }
    CodePageScope(const CodePageScope&) = delete;
    CodePageScope& operator=(const CodePageScope&) = delete;

private:
    codepage::CodePage m_saved;
};

// The message of the error of class E that a call raises; "<no error>" when it raises none.
template <typename E, typename F> QString messageOf(F&& call)
{
    try {
        call();
    } catch (const E& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}
