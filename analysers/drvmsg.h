// TDrvRec and TDrvMsg: the bases of a line protocol's records and of the message that gathers
// them. A record takes its bytes from the line and decodes its fields through the driver's field
// and record tables; the message keeps a copy of each accepted record, the field values decoded
// on the way, and stores its records in one file.
#pragma once

#include <analysers/bindata.h>

#include <QByteArray>
#include <QList>
#include <QString>

class TDriver;
class TDrvMsg;

// One record of a line protocol, from its start byte through its end byte.
class TDrvRec
{
public:
    explicit TDrvRec(TDrvMsg* Msg);
    virtual ~TDrvRec();
    TDrvRec(const TDrvRec&) = delete;
    TDrvRec& operator=(const TDrvRec&) = delete;

    // Makes the record of kind RecType that the host sends (its answers).
    virtual void Build(int RecType) = 0;
    // Takes bytes of Stream from its position on, into Data, and moves the position past what it
    // took. True when a complete, well-formed record was taken; false when the record is still
    // incomplete (the rest comes with the next bytes) or is not well-formed.
    virtual bool Parse(TMemStream& Stream) = 0;

    // Empties Data; RecType becomes 0.
    void Clear();

    TDrvMsg* Msg = nullptr; // the message the record's values go to; not owned
    TMemStream Data;        // the record's bytes
    int RecType = 0;        // the record's kind, 0 when cleared
};

// A field value of a message: the value and the code of its field.
struct TFieldValue
{
    int Code = 0;
    QString Value;
};

// The records of one message (one sample) and their field values.
//
// Record file, as SaveToFile writes it and LoadFromFile implementations read it: the record count
// as a 32-bit little-endian integer, then for each record its length as a 32-bit little-endian
// integer and its bytes.
class TDrvMsg
{
public:
    explicit TDrvMsg(TDriver* Driver);
    virtual ~TDrvMsg();
    TDrvMsg(const TDrvMsg&) = delete;
    TDrvMsg& operator=(const TDrvMsg&) = delete;

    // Adds the value under the field code, unless the message already has a value of that code:
    // the first value of a code wins.
    virtual void AddValue(int Code, const QString& Value);
    // Replaces the message by the records stored in the file; true when at least one was taken.
    virtual bool LoadFromFile(const QString& Name) = 0;

    // Forgets the records and the values.
    void Clear();
    // Keeps a copy of the record's bytes.
    void AddRecord(const TDrvRec& Rec);
    // Writes the records to the file (replacing it whole). Raises EInOutError when it cannot be
    // written; an existing file is then left as it was.
    void SaveToFile(const QString& Name) const;

    // The records of a record file, in order. Raises EInOutError when the file cannot be read, and
    // Exception when it is damaged (a count or a length that runs past its end).
    static QList<QByteArray> ReadRecordFile(const QString& Name);

    TDriver* Driver = nullptr; // the driver whose tables decode the records; not owned
    QList<TFieldValue> Values;
    QList<QByteArray> Records;
};
