// Byte buffers the protocol drivers assemble frames in and parse records from: TBinData, a buffer
// of fixed size with one read/write position, and TMemStream, a memory stream with byte and text
// helpers. Strings here are byte strings in the program's ANSI code page.
#pragma once

#include <QByteArray>
#include <QString>

// A byte buffer of fixed size. It never grows by itself: SetSize gives it its size, reads past
// the end give 0 and writes past the end are refused.
class TBinData
{
public:
    TBinData() = default;

    const char* Data() const { return m_data.constData(); }
    int Size() const { return int(m_data.size()); }
    // Index of the next byte to read or write.
    int Position() const { return m_position; }

    // Drops the old bytes and makes N bytes, all 0, with the position at 0.
    void SetSize(int N);
    void Reset() { m_position = 0; }
    // Size - Position, 0 when the position is at or past the end.
    int Remaining() const;

    // The byte at the position, then the position moves on; 0 (position kept) at the end.
    quint8 ReadByte();
    // S := the next N bytes, a 0 for each one past the end (S always has N bytes).
    void ReadString(int N, QByteArray& S);
    // The byte at Index, 0 outside the buffer; the position is not used.
    quint8 GetByte(int Index) const;

    // Stores B at the position and moves on; false (nothing stored) at the end.
    bool WriteByte(quint8 B);
    // WriteByte of each byte of S in order; false when some did not fit.
    bool WriteString(const QByteArray& S);

    // The first index at or after the position holding B, or -1.
    int IndexOfByte(quint8 B) const;

    // Creates or replaces the file with the first Position bytes, or all Size bytes when the
    // position is 0. Raises EInOutError when the file cannot be written; an existing file is then
    // left as it was.
    void SaveToFile(const QString& FileName) const;

private:
    QByteArray m_data;
    int m_position = 0;
};

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// A memory stream: a block of bytes with a size and a position, read and written at the
// position. Writing past the end grows it (a gap is filled with 0).
class TMemStream
{
public:
    TMemStream() = default;

    // The stream.
    const char* Memory() const { return m_data.constData(); }
    qint64 Size() const { return m_data.size(); }
    qint64 Position() const { return m_position; }
    void SetPosition(qint64 Pos) { m_position = qMax<qint64>(Pos, 0); }
    // Cuts or grows (with 0) the stream; a position past the new end moves to it.
    void SetSize(qint64 NewSize);
    void Clear();
    // Reads up to Count bytes; returns the number read.
    qint64 Read(void* Buffer, qint64 Count);
    // Writes Count bytes; returns Count.
    qint64 Write(const void* Buffer, qint64 Count);
    // Moves the position (never below 0) and returns it.
    qint64 Seek(qint64 Offset, TSeekOrigin Origin);
    // Replaces the contents with the file's bytes, position 0. Raises EInOutError.
    void LoadFromFile(const QString& FileName);
    // Writes the whole stream to the file. Raises EInOutError; an existing file is then kept.
    void SaveToFile(const QString& FileName) const;

    // Byte and text helpers, at the position, which they advance.
    void WriteByte(quint8 B);
    int WriteString(const QByteArray& S);
    // Writes the bytes From to To (inclusive, 0-based) of Source's memory; the part of the range
    // outside Source is not written.
    void WriteRange(const TMemStream& Source, qint64 From, qint64 To);
    // The next byte; 0 at the end.
    quint8 ReadByte();
    quint8 ReadByteAt(qint64 Pos);
    // S := the next N bytes, a 0 for each one past the end (S always has N bytes).
    void ReadString(int N, QByteArray& S);
    void ReadStringAt(qint64 Pos, int N, QByteArray& S);
    // Reads forward to the next byte equal to B and leaves the position on it (true); false with
    // the position at the end when there is none.
    bool SeekByte(quint8 B);
    // S := the bytes up to, not including, the first byte below 0x20, where the position stays;
    // at the end of the stream S holds what was read.
    void ReadText(QByteArray& S);

private:
    QByteArray m_data;
    qint64 m_position = 0;
};
