// TMiditronDriver: receives the urine-strip results of a Miditron analyser, record by record, keeps
// the records of one sample as a message, stores each complete sample as a document, and turns a
// stored sample back into header fields and strip results for the result viewer.
#pragma once

#include <analysers/drvmain.h>
#include <analysers/drvmsg.h>

#include <memory>

// Kinds of Miditron records (the characters after STX) and their numbers.
enum TMiditronRecType {
    mrNone = 0,
    mrA = 1,        // ";A"
    mrC = 2,        // ";C": patient data and the chemistry line
    mrD = 3,        // ";D": patient data and the physical line; ends a sample
    mrStart = 4,    // "<"
    mrAnswer = 6,   // ">": the host's acknowledgement
    mrQuestion = 7, // "?"
    mrEnd = 8,      // ":"
};

// A Miditron record on the wire: STX, the kind characters, then for each field of the kind (in
// the order of the driver's record table) a blank and the field (of its fixed width, or up to the
// next control character when its width is 0), then ETX, two check characters and CR. A record is
// well-formed when exactly those four bytes follow its last field; the check characters are not
// examined.
class TMiditronRec : public TDrvRec
{
public:
    using TDrvRec::TDrvRec;

    // STX, the kind characters, ETX, "3?", CR: the host's answers (">" acknowledges a record).
    void Build(int RecType) override;
    // Takes the next record, or the next part of one, from the stream. A record starts at STX;
    // bytes that continue a record begun in an earlier chunk complete it, up to its CR. An STX
    // before that CR abandons the unfinished record for the new one (the last STX before a CR
    // starts the record); bytes that belong to no record are passed over. The position stops
    // after the CR (the rest of the stream is the next record's) or at the end. The fields of a
    // complete, well-formed record are decoded and each value given to the message (AddValue).
    bool Parse(TMemStream& Stream) override;

    // The kind of a record's bytes (from STX on); mrNone when it is none of the kinds.
    static int KindOf(const QByteArray& Record);

private:
    bool Complete() const;
    bool Decode();
};

// The records of one sample, with the decoded field values.
class TMiditronMsg : public TDrvMsg
{
public:
    using TDrvMsg::TDrvMsg;

    // Loads a stored sample: each record is parsed afresh and the well-formed ones are kept with
    // their values. True when at least one was taken. Raises EInOutError when the file cannot be
    // read and Exception when it is damaged.
    bool LoadFromFile(const QString& Name) override;
    // Fills the holder: a header row per value of the patient fields (in the order received),
    // and a result row per item of the chemistry and physical lines whose name is a test.
    void GetResults(TResInfo& ResInfo) const;
};

// The exchange, with the protocol state of TComDriver. Every complete record of a chunk is
// handled in turn; the remainder of a chunk waits for the next one.
//
//   state            | well-formed record | answer | then
//   0 waiting        | "<"                | ack    | message cleared; state 1
//                    | any other          | -      | -
//   1 receiving      | ";C"               | ack    | record added to the message
//                    | ";D"               | ack    | record added; the message is stored as a
//                    |                    |        | document of type "mdt" and cleared
//                    | "<", "?"           | ack    | message cleared
//                    | ":"                | -      | state 0
//                    | ";A", ">"          | -      | -
//   records that are incomplete or not well-formed get no answer.
//
// The stored message, "~buf~.mdt" in the capture folder until the workstation takes it, is a
// record file (see TDrvMsg) of the sample's ";C" and ";D" records.
//
// Main thread only. One object serves every source bound to it (device code MDT); the result
// viewer makes its own to read a stored file.
class TMiditronDriver : public TComDriver
{
public:
    TMiditronDriver();
    ~TMiditronDriver() override;

    int GetFieldCount() const override;
    void GetFieldInfo(int Index, TFldInfo& Info) const override;
    int GetRecordCount() const override;
    void GetRecordInfo(int Index, TRecInfo& Info) const override;
    int GetTestCount() const override;
    void GetTestInfo(int Index, TTestInfo& Info) const override;

    // Handles a chunk as drawn above. Raises EInOutError when a complete sample cannot be
    // written to the capture folder; the records after it in the chunk are then not handled.
    void PortReceiveData(TCommPortDriver* Sender, const char* Data, int Count) override;
    // The result viewer's road: load a stored sample, then fill a holder from it.
    void LoadFromFile(const QString& FileName) override;
    void GetResults(TResInfo& ResInfo) override;

    TMiditronMsg& Msg() const { return *m_msg; }
    TMiditronRec& Rec() const { return *m_rec; }

private:
    void Handle();
    void StoreSample();
    void Acknowledge();

    std::unique_ptr<TMiditronMsg> m_msg;
    std::unique_ptr<TMiditronRec> m_rec;
};
