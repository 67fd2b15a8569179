// Reading the job files of a printer spool folder: the page list of a version-1 job, the queue
// names of a version-2 shadow file, and the pages cut out of a version-2 job file.
#include "spoolfiles.h"

#include <app/documents/metafile.h>
#include <platform/codepage.h>
#include <platform/fileops.h>

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cstring>

namespace {

constexpr qsizetype QueueLineAt = 16;
constexpr char PageMarker[] = {0x46, 0x54, 0x4D, 0x02};
constexpr qsizetype PageMarkerSize = 8;

constexpr qsizetype ShadowNameOffsets[] = {0x78, 0x88, 0xD0, 0xE0};

// Job files are read and pages written in blocks of this size: large blocks keep a long job's
// cut as fast as a copy of it.
constexpr qint64 Block = 1024 * 1024;
// A page's header is recognised by its signature and gives its length.
constexpr qsizetype SignatureAt = 40;
constexpr qsizetype LengthAt = 48;
constexpr uchar Signature[] = {0x20, 0x45, 0x4D, 0x46};

bool isMarkerAt(QByteArrayView bytes, qsizetype at)
{
    return at + PageMarkerSize <= bytes.size() &&
           std::memcmp(bytes.data() + at, PageMarker, sizeof PageMarker) == 0 &&
           bytes[at + 5] == 0 && bytes[at + 6] == 0 && bytes[at + 7] == 0;
}

QByteArray shadowString(QByteArrayView shadow, qsizetype at)
{
    QByteArray low;
    for (qsizetype i = at; i + 1 < shadow.size(); i += 2) {
        const quint16 ch = qFromLittleEndian<quint16>(shadow.data() + i);
        if (ch == 0)
            break;
        low.append(char(ch & 0xFF));
    }
    return low;
}

// The job file read through a window that slides along it, so that a file of any size is
// searched in blocks.
class JobReader
{
public:
    explicit JobReader(QFile& file) : m_file(file), m_size(file.size()) {}

    qint64 size() const { return m_size; }

    // The byte at absolute position `at`, read ahead as far as needed; 0 past the end.
    uchar byteAt(qint64 at)
    {
        while (at >= m_start + m_window.size() && more()) {
        }
        const qint64 rel = at - m_start;
        return rel < m_window.size() ? uchar(m_window[rel]) : 0;
    }

    // The first byte 01 at or after `from`; -1 when there is none.
    qint64 nextCandidate(qint64 from)
    {
        for (;;) {
            drop(from);
            const qint64 rel = from - m_start;
            if (rel < m_window.size()) {
                const char* base = m_window.constData();
                const void* hit = std::memchr(base + rel, 0x01, size_t(m_window.size() - rel));
                if (hit)
                    return m_start + (static_cast<const char*>(hit) - base);
                from = m_start + m_window.size();
            }
            if (!more())
                return -1;
        }
    }

    // Copies `length` bytes from `at` into `out`; false when the file ends first or a write fails.
    bool copy(qint64 at, qint64 length, QIODevice& out)
    {
        drop(at);
        const qint64 rel = at - m_start;
        const qint64 inWindow = std::min<qint64>(length, m_window.size() - rel);
        if (inWindow > 0 && out.write(m_window.constData() + rel, inWindow) != inWindow)
            return false;
        qint64 left = length - std::max<qint64>(inWindow, 0);
        if (left > 0) {
            // The rest straight from the file, which stands at the window's end.
            m_window.resize(Block);
            while (left > 0) {
                const qint64 n = m_file.read(m_window.data(), std::min(Block, left));
                if (n <= 0 || out.write(m_window.constData(), n) != n)
                    return false;
                left -= n;
            }
            m_window.clear();
            m_start = m_file.pos();
        }
        return true;
    }

private:
    // Forgets the bytes before `at`, once they fill a block.
    void drop(qint64 at)
    {
        if (at - m_start > Block && at <= m_start + m_window.size()) {
            m_window.remove(0, at - m_start);
            m_start = at;
        }
    }

    bool more()
    {
        const qsizetype had = m_window.size();
        m_window.resize(had + Block);
        const qint64 n = m_file.read(m_window.data() + had, Block);
        m_window.resize(had + std::max<qint64>(n, 0));
        return n > 0;
    }

    QFile& m_file;
    qint64 m_size;
    QByteArray m_window;
    qint64 m_start = 0; // position of the window's first byte in the file
};

} // namespace

SpoolV1Job ParseSpoolV1(QByteArrayView bytes)
{
    SpoolV1Job job;
    if (bytes.size() <= QueueLineAt)
        return job;
    const qsizetype lf = bytes.indexOf('\n', QueueLineAt);
    if (lf < 0)
        return job;
    job.hasLine = true;
    job.line = bytes.sliced(QueueLineAt, lf - QueueLineAt).toByteArray();
    qsizetype at = bytes.indexOf(QByteArrayView(PageMarker, sizeof PageMarker), lf + 1);
    while (at >= 0) {
        if (!isMarkerAt(bytes, at)) {
            at = bytes.indexOf(QByteArrayView(PageMarker, sizeof PageMarker), at + 1);
            continue;
        }
        const qsizetype path = at + PageMarkerSize;
        qsizetype end = bytes.indexOf('\0', path);
        if (end < 0)
            end = bytes.size();
        job.pages.append(bytes.sliced(path, end - path).toByteArray());
        at = bytes.indexOf(QByteArrayView(PageMarker, sizeof PageMarker), end);
    }
    return job;
}

QString SpoolPageFileName(const QByteArray& path)
{
    const QString text = codepage::fromAnsi(path);
    const qsizetype slash =
        std::max(text.lastIndexOf(QLatin1Char('\\')), text.lastIndexOf(QLatin1Char('/')));
    return text.mid(slash + 1);
}

bool ShadowNamesQueue(QByteArrayView shadow, const QString& workName, QString* lastRead)
{
    if (workName.isEmpty())
        return false;
    const QString wanted = codepage::upper(workName);
    for (const qsizetype at : ShadowNameOffsets) {
        const QString name = codepage::fromAnsi(shadowString(shadow, at));
        if (lastRead)
            *lastRead = name;
        if (codepage::upper(name).contains(wanted))
            return true;
    }
    return false;
}

EmfExtraction ExtractEmfPages(const QString& SplFile, QStringList& Pages, QString* error)
{
    QStringList written;
    const auto abandon = [&](EmfExtraction why, const QString& reason) {
        for (const QString& page : std::as_const(written))
            QFile::remove(page);
        if (error)
            *error = reason;
        return why;
    };

    QFile in(SplFile);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return abandon(EmfExtraction::Failed,
                       QStringLiteral("%1 cannot be read: %2").arg(SplFile, in.errorString()));
    const QFileInfo info(SplFile);
    const QString folder = info.path() + QLatin1Char('/');
    const QString stem = info.completeBaseName() + QLatin1Char('_');

    JobReader job(in);
    for (qint64 p = job.nextCandidate(0); p >= 0; p = job.nextCandidate(p)) {
        bool header = true;
        for (qsizetype i = 0; i < qsizetype(sizeof Signature) && header; ++i)
            header = job.byteAt(p + SignatureAt + i) == Signature[i];
        quint32 length = 0;
        for (int i = 3; header && i >= 0; --i)
            length = (length << 8) | job.byteAt(p + LengthAt + i);
        if (!header || length < quint32(EmfBaseHeaderSize)) {
            ++p;
            continue;
        }
        if (p + qint64(length) > job.size())
            return abandon(EmfExtraction::Incomplete,
                           QStringLiteral("%1 holds a page that is not whole yet").arg(SplFile));

        const QString name = stem + QString::number(written.size()) + QStringLiteral(".emf");
        const QString page = folder + name;
        // Written under a name that listings leave alone, then renamed. Not flushed: the job file
        // stays until the registry has taken every page, and the registry flushes what it takes.
        const QString temp = folder + QLatin1Char('.') + name + QStringLiteral(".part");
        QFile out(temp);
        bool done = out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) &&
                    job.copy(p, length, out);
        out.close();
        QString why = out.errorString();
        done = done && out.error() == QFileDevice::NoError && fileops::rename(temp, page, &why);
        if (!done) {
            QFile::remove(temp);
            return abandon(EmfExtraction::Failed,
                           QStringLiteral("%1 cannot be written: %2").arg(page, why));
        }
        written.append(page);
        p += length;
    }
    Pages.append(written);
    return EmfExtraction::Whole;
}
