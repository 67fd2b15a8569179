// The drivers' byte buffers: TBinData (fixed size, one position) and TMemStream (a memory
// stream with byte and text helpers).
#include "bindata.h"

#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/softcheck.h>

#include <QFile>
#include <cstring>

void TBinData::SetSize(int N)
{
    if (!QV_SOFT_CHECK(N >= 0, QStringLiteral("buffer size %1").arg(N)))
        N = 0;
    // Zero-filled: a buffer saved before it is fully written never carries stale memory.
    m_data = QByteArray(N, '\0');
    m_position = 0;
}

int TBinData::Remaining() const
{
    return m_position < Size() ? Size() - m_position : 0;
}

quint8 TBinData::ReadByte()
{
    if (m_position >= Size())
        return 0;
    return quint8(m_data.at(m_position++));
}

void TBinData::ReadString(int N, QByteArray& S)
{
    S.clear();
    for (int i = 0; i < N; ++i)
        S.append(char(ReadByte()));
}

quint8 TBinData::GetByte(int Index) const
{
    return Index >= 0 && Index < Size() ? quint8(m_data.at(Index)) : 0;
}

bool TBinData::WriteByte(quint8 B)
{
    if (m_position >= Size())
        return false;
    m_data[m_position++] = char(B);
    return true;
}

bool TBinData::WriteString(const QByteArray& S)
{
    bool all = true;
    for (const char c : S)
        all = WriteByte(quint8(c)) && all;
    return all;
}

int TBinData::IndexOfByte(quint8 B) const
{
    if (m_position >= Size())
        return -1;
    return int(m_data.indexOf(char(B), m_position));
}

void TBinData::SaveToFile(const QString& FileName) const
{
    const QByteArray bytes = m_position == 0 ? m_data : m_data.left(m_position);
    QString error;
    if (!fileops::writeFile(FileName, bytes, &error))
        throw EInOutError(QStringLiteral("Cannot write file \"%1\": %2").arg(FileName, error));
}

void TMemStream::SetSize(qint64 NewSize)
{
    NewSize = qMax<qint64>(NewSize, 0);
    const qint64 old = m_data.size();
    m_data.resize(NewSize);
    if (NewSize > old)
        std::memset(m_data.data() + old, 0, size_t(NewSize - old));
    m_position = qMin(m_position, NewSize);
}

void TMemStream::Clear()
{
    m_data.clear();
    m_position = 0;
}

qint64 TMemStream::Read(void* Buffer, qint64 Count)
{
    const qint64 n = qMin(qMax<qint64>(Count, 0), qMax<qint64>(Size() - m_position, 0));
    if (n > 0) {
        std::memcpy(Buffer, m_data.constData() + m_position, size_t(n));
        m_position += n;
    }
    return n;
}

qint64 TMemStream::Write(const void* Buffer, qint64 Count)
{
    if (Count <= 0)
        return 0;
    const qint64 end = m_position + Count;
    if (end > Size())
        SetSize(end);
    std::memcpy(m_data.data() + m_position, Buffer, size_t(Count));
    m_position = end;
    return Count;
}

qint64 TMemStream::Seek(qint64 Offset, TSeekOrigin Origin)
{
    switch (Origin) {
    case soBeginning:
        SetPosition(Offset);
        break;
    case soCurrent:
        SetPosition(m_position + Offset);
        break;
    case soEnd:
        SetPosition(Size() + Offset);
        break;
    }
    return m_position;
}

void TMemStream::LoadFromFile(const QString& FileName)
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(
            QStringLiteral("Cannot open file \"%1\": %2").arg(FileName, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EInOutError(
            QStringLiteral("Cannot read file \"%1\": %2").arg(FileName, file.errorString()));
    m_data = std::move(bytes);
    m_position = 0;
}

void TMemStream::SaveToFile(const QString& FileName) const
{
    QString error;
    if (!fileops::writeFile(FileName, m_data, &error))
        throw EInOutError(QStringLiteral("Cannot write file \"%1\": %2").arg(FileName, error));
}

void TMemStream::WriteByte(quint8 B)
{
    const char c = char(B);
    Write(&c, 1);
}

int TMemStream::WriteString(const QByteArray& S)
{
    return int(Write(S.constData(), S.size()));
}

void TMemStream::WriteRange(const TMemStream& Source, qint64 From, qint64 To)
{
    // Only bytes that exist in Source are read; copied first, since Source may be this stream.
    From = qMax<qint64>(From, 0);
    To = qMin(To, Source.Size() - 1);
    if (To < From)
        return;
    const QByteArray range = Source.m_data.mid(From, To - From + 1);
    Write(range.constData(), range.size());
}

quint8 TMemStream::ReadByte()
{
    char c = 0;
    return Read(&c, 1) == 1 ? quint8(c) : 0;
}

quint8 TMemStream::ReadByteAt(qint64 Pos)
{
    SetPosition(Pos);
    return ReadByte();
}

void TMemStream::ReadString(int N, QByteArray& S)
{
    S = QByteArray(qMax(N, 0), '\0');
    Read(S.data(), S.size());
}

void TMemStream::ReadStringAt(qint64 Pos, int N, QByteArray& S)
{
    SetPosition(Pos);
    ReadString(N, S);
}

bool TMemStream::SeekByte(quint8 B)
{
    while (m_position < Size()) {
        if (quint8(m_data.at(m_position)) == B)
            return true;
        ++m_position;
    }
    return false;
}

void TMemStream::ReadText(QByteArray& S)
{
    const qint64 start = m_position;
    while (m_position < Size() && quint8(m_data.at(m_position)) >= 0x20)
        ++m_position;
    S = start < m_position ? m_data.mid(start, m_position - start) : QByteArray();
}
