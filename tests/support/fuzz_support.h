// What the fuzz targets share: the application object, a working folder emptied before each input,
// the input cut into chunks as a port delivers them, and the report of a broken promise.
#pragma once

#include <platform/clock.h>
#include <platform/support/globals.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// libFuzzer and the replay call this once before the first input: timers and objects need an
// application object. Defined here, not inline, so that it exists for them to find: a target is
// one source file, which includes this header once.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static int count = *argc;
    static QCoreApplication app(count, *argv);
    return 0;
}

namespace fuzz {

// Ends the run as a crash, which libFuzzer and the corpus replay both report with the input.
[[noreturn]] inline void fail(const char* target, const QString& what)
{
    std::fprintf(stderr, "%s: %s\n", target, qPrintable(what));
    std::abort();
}

// The working folder of the run: WorkPath, BufDir and ComBufDir point into it. The clock stands
// still at a known moment.
class Scratch
{
public:
    Scratch()
    {
        WorkPath = m_dir.path() + QLatin1Char('/');
        BufDir = WorkPath + QStringLiteral("buf/");
        ComBufDir = WorkPath + QStringLiteral("com_buf/");
    }
    // Empties the folders (and the operations log) and sets the clock back, for the next input.
    void clear() const
    {
        clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(22, 10, 46)));
        for (const QString& folder : {BufDir, ComBufDir}) {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
        }
        QFile::remove(WorkPath + QStringLiteral("QUORVANE.LOG"));
    }
    QString path(const QString& name) const { return WorkPath + name; }

private:
    QTemporaryDir m_dir;
};

// Writes the bytes to a file, replacing it.
inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail("fuzz", QStringLiteral("cannot write ") + path);
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Cuts the input as a port delivers it: a length byte, then up to that many bytes. A length of 0
// gives an empty chunk, which a caller may read as something else (silence).
template <class Take> void forEachChunk(const std::uint8_t* data, std::size_t size, Take take)
{
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = data[at++];
        const std::size_t n = std::min(length, size - at);
        take(QByteArray(reinterpret_cast<const char*>(data + at), qsizetype(n)));
        at += n;
    }
}

} // namespace fuzz
