// The in-memory dataset's file format (laid out in memdataset.h): a storage's definitions and
// records written as one block of bytes, and read back step by step with every fault of the bytes
// found.
#pragma once

#include "memrecords_p.h"

#include <platform/data/dataset.h>

#include <QByteArray>

namespace memdata {

// A fault of a file's bytes, said in a phrase ("the file is truncated").
struct FileFormatError
{
    QString reason;
};

// The file's checksum: the common CRC-32 (polynomial 0xEDB88320, as zlib computes it).
quint32 crc32(const char* data, qsizetype size);

// The whole file: the definitions, then the records in the order given, then the checksum.
QByteArray writeFile(const FieldDefs& fields, const IndexDefs& indexes, const RecordLayout& layout,
                     const std::vector<Row*>& rows);

// Reads a file in the order it is written: the fields, the indexes, the record count, each record,
// the end. Every step raises FileFormatError on a fault of the bytes.
class FileReader
{
public:
    // Checks the size, the magic text, the format version and the checksum.
    explicit FileReader(const QByteArray& data);

    FieldDefs readFields();
    IndexDefs readIndexes();
    quint32 readRecordCount();
    // Reads the next record's values into a record of the fields' layout; returns the post order
    // it was saved with.
    quint64 readRecord(const RecordLayout& layout, Row* row);
    // Raises when anything follows the last record.
    void checkEnd() const;

private:
    template <typename T> T get();
    double getDouble();
    QByteArray getBytes();
    QString getString();
    const char* raw(qsizetype n);
    void need(qsizetype n) const;
    qsizetype remaining() const { return m_size - m_pos; }

    QByteArray m_data;
    const char* m_body; // after the magic text, up to the checksum
    qsizetype m_size;
    qsizetype m_pos = 0;
    QList<FieldType> m_types; // of the fields read
};

} // namespace memdata
