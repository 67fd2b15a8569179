// The request files of the application-server exchange: a query component stored as a component
// resource, and the "BigData" block in which a batch statement carries its parameters. This
// header is where both formats are written down; TComponentWriter is their one writer and
// TComponentReader their one reader.
//
// Every number is little-endian. A text is the bytes of the program's ANSI code page (a text the
// code page cannot hold is refused by the writer); "short string" is 1 length byte L and L bytes.
//
// Component resource (a select request q<n>.bin holds one; an update batch b<n>.bin holds one per
// statement, one after the other):
//
//   0xFF                        1 byte
//   resource type               2 bytes, 10
//   resource name               the class name with a-z turned to A-Z, then a 0 byte; at most 63
//                               bytes before the 0 ("TQUERY", "TBIGQUERY")
//   memory flags                2 bytes, 0x1030
//   data size                   4 bytes, unsigned: the bytes of the component stream that follows
//   component stream            exactly that many bytes
//
// Component stream:
//
//   "TPF0"                      4 bytes
//   class name                  short string ("TQuery" for a select, "TBigQuery" for a statement)
//   component name              short string (may be empty)
//   properties                  each: property name (short string, not empty), then a value;
//                               each property at most once, in this order when present:
//     DatabaseName              String or LString: the name of the query's database
//     SQL.Strings               List of String or LString values: the lines of the SQL text
//     Params                    Collection (a select's parameters); written only when the query
//                               has parameters. Each item holds, in this order:
//                                 DataType   Ident, the field type's name (table below)
//                                 Name       String or LString
//                                 ParamType  Ident: ptUnknown, ptInput, ptOutput, ptInputOutput,
//                                            ptResult
//                                 Value      the value (see values); absent when the parameter
//                                            was never given one, Nil when it is null
//     BigParams.BigData         Binary (a batch statement's parameters, below); written only when
//                               the statement has parameters
//   0x00                        end of the properties
//   0x00                        end of the (empty) list of child components
//
// Values: a tag byte, then
//
//   0x01 List        values up to a 0x00 tag
//   0x04 Int32       4 bytes, signed
//   0x05 Double      8 bytes, IEEE 754
//   0x06 String      short string
//   0x07 Ident       short string of the letters and digits of a name
//   0x08 False       nothing
//   0x09 True        nothing
//   0x0A Binary      4 bytes unsigned length N, then N bytes
//   0x0C LString     4 bytes unsigned length N, then N bytes (a text of more than 255 bytes)
//   0x0D Nil         nothing (a null value)
//   0x0E Collection  items up to a 0x00 tag; an item is a 0x01 tag, then properties (name, value)
//                    up to a 0x00 byte
//   0x10 Int64       8 bytes, signed (an integer outside the 32-bit range)
//
// A parameter's Value follows its DataType: texts (ftString, ftMemo) String or LString; integers
// (ftInteger, ftAutoInc) Int32 or Int64; ftBoolean False or True; ftFloat, ftCurrency and the
// dates and times (ftDate, ftTime, ftDateTime) Double, a date-time being the days since
// 1899-12-30 with the time as the fraction; blobs (ftBlob, ftGraphic) Binary.
//
// Field types, by name (Ident) and by ordinal (BigData): ftUnknown 0, ftString 1, ftInteger 3,
// ftBoolean 5, ftFloat 6, ftCurrency 7, ftDate 9, ftTime 10, ftDateTime 11, ftAutoInc 14,
// ftBlob 15, ftMemo 16, ftGraphic 17. Parameter types by ordinal: ptUnknown 0, ptInput 1,
// ptOutput 2, ptInputOutput 3, ptResult 4.
//
// BigData:
//
//   count                       2 bytes, unsigned: the number of parameters
//   then per parameter:
//     name length L             2 bytes, unsigned
//     name                      L bytes
//     parameter type            1 byte, ordinal
//     data type                 1 byte, ordinal
//     value size N              4 bytes, signed; only when the data type is not ftUnknown
//     value                     N bytes; only with the size:
//                                 ftString, ftMemo: the text, then a 0 byte
//                                 ftInteger, ftAutoInc: 4 bytes, signed
//                                 ftBoolean: 2 bytes, 0 false, 0xFFFF true (any other than 0
//                                   reads as true)
//                                 ftFloat, ftCurrency, ftDate, ftTime, ftDateTime: 8 bytes,
//                                   IEEE 754 (dates as above)
//                                 ftBlob, ftGraphic: the bytes as they are
//                               A null value is written in its empty form: a text as the 0 byte
//                               alone, a blob with no bytes, a number as zeros.
//     null flag                 1 byte: not 0 when the parameter is null (or has no value)
//     bound flag                1 byte: not 0 when the parameter was given a value (null too)
//
// The reader checks every count, length and size against the bytes that are left in its block
// (the file, the resource's data, the Binary property) and every tag, ordinal and fixed size; a
// block that runs past its end, or bytes left over inside a resource, is refused with
// EDBKernelError naming the fault and its byte offset, and nothing of it is returned.
#pragma once

#include <platform/db/params.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// One query component as a request file carries it.
struct TStreamedComponent
{
    QString ClassName;
    QString Name;
    QString DatabaseName;
    QStringList SQL;
    // The Params collection: a select's parameters.
    Params Parameters;
    // BigParams.BigData: a batch statement's parameters.
    QList<Param> BigData;
};

class TComponentWriter
{
public:
    // Appends the component as one component resource. Raises EDBKernelError for a text the code
    // page cannot hold, a name too long for its field, or a value its data type cannot carry.
    void WriteComponent(const TStreamedComponent& component);
    const QByteArray& Bytes() const { return m_bytes; }
    bool IsEmpty() const { return m_bytes.isEmpty(); }
    void Clear() { m_bytes.clear(); }

    // The BigData block of the parameters.
    static QByteArray WriteBigData(const QList<Param>& params);

private:
    QByteArray m_bytes;
};

class TComponentReader
{
public:
    explicit TComponentReader(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    bool AtEnd() const { return m_at >= m_bytes.size(); }
    // The next component resource; raises EDBKernelError when it is damaged.
    TStreamedComponent ReadComponent();
    // Every resource of a request file: at least one.
    static QList<TStreamedComponent> ReadAll(const QByteArray& bytes);

    // The parameters of a BigData block.
    static QList<Param> ReadBigData(QByteArrayView bytes);

private:
    QByteArray m_bytes;
    qsizetype m_at = 0;
};

// The Ident of a field type ("ftString") and of a parameter type ("ptInput").
QString FieldTypeIdent(FieldType type);
QString ParamTypeIdent(ParamType type);
