// The ASTM link and record layer and the driver that runs the exchange with one analyser: frames
// with numbers and checksums (E1381), records and messages cut by delimiters (E1394), the two
// tables that drive parsing and building, and TASTMDriver, the base of the ASTM analysers
// (astmdevices.h).
//
// Record texts stay bytes from the frame to the stored file; they are decoded in the program's
// code page only where a value is taken into Values (and for look-ups and reports).
#pragma once

#include <analysers/drvmain.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <exception>
#include <memory>
#include <utility>
#include <vector>

class TASTMDriver;

// One frame being received: STX, the frame number, the text, ETX or ETB, two checksum digits,
// CR, LF.
class TASTMFrame
{
public:
    // A frame is dropped once its bytes without an LF pass this size.
    static constexpr qsizetype MaxSize = 1 << 20;

    // Empties Data and Text, sets Terminator to 0.
    void Clear();
    // Feeds a received chunk: bytes before the STX are skipped (an LF among them ends the call
    // with false), then the bytes up to the first LF are kept in Data. True when that LF came: the
    // frame is then parsed; the bytes of the chunk after it are not looked at. Without it the frame
    // goes on with the next chunk.
    bool AddData(const char* Input, qsizetype Count);
    bool AddData(const QByteArray& Input) { return AddData(Input.constData(), Input.size()); }

    // From STX up to, not including, the LF.
    QByteArray Data;
    // The value of the frame-number digit.
    quint8 FrameNumber = 0;
    // The bytes between the frame number and the terminator, as received: the record trims them.
    // A view into Data, empty until the terminator was found.
    QByteArrayView Text() const { return QByteArrayView(Data).sliced(m_textAt, m_textSize); }
    // ETX or ETB; 0 until the text is ended.
    quint8 Terminator = 0;
    // The two checksum digits were read and match the sum of the bytes from the frame number
    // through the terminator.
    bool ChecksumOK = false;

private:
    void Parse();

    qsizetype m_textAt = 0;
    qsizetype m_textSize = 0;
};

// One record, assembled from frames or built for sending.
class TASTMRecord
{
public:
    // Empties the record for reuse: the room of a text up to KeptRoom bytes stays.
    void Clear();
    static constexpr qsizetype KeptRoom = 4096;
    // Takes a parsed frame: one whose number is not the next (1 after 0 and after clearing, 0
    // after 7) is dropped (false, the record unchanged). The record's text is trimmed of blanks
    // and control characters at its start and at the end of its ETX frame only; the joints
    // between ETB frames keep every byte. True when the frame ended with ETX.
    bool AddFrame(const TASTMFrame& Frame);
    // Stream := the record as one frame: STX, frame number (Index + 1, modulo 8), RecType, Text,
    // CR, ETX, the checksum as two upper-case hexadecimal digits, CR, LF.
    void BuildFrame(int Index, QByteArray& Stream) const;

    char RecType = 0;
    quint8 FrameNumber = 0;
    // The record without its type character: it begins with the field delimiter.
    QByteArray Text;
};

// A parsed value with the code of its field.
struct TASTMValue
{
    QString Value; // decoded in the program's code page, dates and coded values turned into text
    int Code = 0;
    // The bytes as received, which an answer echoes; empty where Value is those bytes in ASCII.
    QByteArray Raw;

    QByteArray RawBytes() const { return Raw.isEmpty() ? Value.toLatin1() : Raw; }
};

// What the parser reads of the field of one layout row, next to the row itself.
struct TASTMLayoutField
{
    const TFldInfo* Info = nullptr; // the fields-table row; nullptr when the table has none
    int CODE = 0;
    int FLDTYPE = 0;
    int FLDGROUP = 0;
    int FLDLEN = 0;
};

// One message: the records between ENQ and EOT, and the values parsed from them.
class TASTMMessage
{
public:
    explicit TASTMMessage(TASTMDriver* Driver);
    virtual ~TASTMMessage();
    TASTMMessage(const TASTMMessage&) = delete;
    TASTMMessage& operator=(const TASTMMessage&) = delete;

    // Empties Records and Values (the delimiters stay). The records emptied are kept, up to
    // MaxSpareRecords, for NewRecord.
    void Clear();
    // An empty record to fill and pass to AddRecord: one that Clear emptied when there is one, so
    // that a run of messages reuses the records and their room instead of allocating them afresh.
    std::unique_ptr<TASTMRecord> NewRecord();
    // Appends the record, parsing its fields into Values; a header record first clears the
    // message.
    void AddRecord(std::unique_ptr<TASTMRecord> Record);
    // The first record of type M (4), Q (1) or R (3) decides; 0 when there is none.
    int GetKind() const;
    // The result file: STX, RecType, Text, ETX per record, nothing else. Raise EInOutError when
    // the file cannot be written or read; LoadFromFile clears the message first and ignores bytes
    // outside an STX .. ETX pair.
    void SaveToFile(const QString& Name) const;
    void LoadFromFile(const QString& Name);
    void LoadFromBytes(const QByteArray& Bytes);
    QByteArray SavedBytes() const;
    // Fills a result holder from Values.
    void GetResults(TResInfo& ResInfo) const;
    // Builds this message as the answer to the query: host query on the specimen, then H, P, O, L.
    // Errors of the host query reach the caller.
    void BuildAnswer(TASTMMessage& Query);
    // A record of the type built from the layout for sending, its values from the query.
    std::unique_ptr<TASTMRecord> BuildRecord(char RecType, const TASTMMessage* Query);
    // The first value of the code; none when the message has no value of it.
    const QString* ValueOf(int Code) const;

    char FieldDelim = '|';
    char RepeatDelim = '\\';
    char ComponentDelim = '^';
    char EscapeDelim = '&';
    TASTMDriver* const Driver;
    QList<TASTMValue> Values;
    std::vector<std::unique_ptr<TASTMRecord>> Records;

private:
    struct Walk;
    void ParseFields(Walk& W, QByteArrayView Text);
    void StoreValue(const TASTMLayoutField& Field, QByteArrayView Value);
    QByteArray AnswerValue(const TFldInfo& Field, const TASTMMessage* Query) const;

    // Plain-ASCII values up to this size are remembered, by field code and bytes.
    static constexpr qsizetype MaxRemembered = 32;
    // A value's bytes taken into Values before, what they became and the bytes to keep. Messages
    // repeat most of their values (units, flags, statuses, test codes, moments): a value met again
    // shares the text already decoded instead of decoding it afresh. The bytes are held in the
    // slot itself: a look-up reads no other memory, and a slot taken over allocates none.
    struct Decoded
    {
        int code = -1;
        int size = 0;
        char bytes[MaxRemembered]; // all ASCII, the first size of them
        QString value;
        QByteArray raw;
    };
    static constexpr size_t RememberedSlots = 1024;
    std::vector<Decoded> m_decoded;

    static constexpr size_t MaxSpareRecords = 64;
    std::vector<std::unique_ptr<TASTMRecord>> m_spare;
};

// One row of the record layout table.
struct TASTMLayoutRow
{
    int ID = 0;
    char RECTYPE = 0;
    int NUM = 0;
    int CODE = 0;
    int RECCODE = 0; // the composite field this row is a component of; 0 for a top-level field
    int OPTIONS = 0; // bit 0: fixed length
};

// The ASTM exchange with one analyser, with the protocol state of TComDriver:
//
//   state         | comes                            | does                          | next
//   0 idle        | a chunk ending in ENQ            | ACK; record and frame cleared | 1
//                 | tick, answer waiting, bid due    | ENQ                           | 2
//   1 receiving   | a chunk ending in EOT            | kind 3: stored as a document; | 0
//                 |                                  | kind 1: answer built, ENQ     | 2
//                 | a chunk ending in ENQ            | an EOT before it ends the     | 1
//                 |                                  | message first; then cleared,  |
//                 |                                  | ACK                           |
//                 | frame bytes                      | good frame: ACK, taken; bad:  | 1
//                 |                                  | NAK. A header record first    |
//                 |                                  | stores a result message       |
//   2 sending     | ACK to ENQ or frame              | next frame, or EOT after the  | 2, 0
//   (ENQ sent)    |                                  | last                          |
//                 | NAK to ENQ                       | the answer waits 10 s         | 0
//                 | ENQ to our ENQ (analyser wins)   | no reply; the answer waits    | 0
//                 |                                  | 20 s                          |
//                 | NAK to a frame                   | the frame again, six sends at | 2, 0
//                 |                                  | most, then EOT                |
//                 | EOT to a frame                   | taken as ACK; EOT, the rest   | 0
//                 |                                  | unsent (logged)               |
//                 | tick, no reply for 15 s          | EOT                           | 0
//
// A waiting answer is bid at most six times, then dropped; the answer to a newer query replaces
// it. Every give-up is one line of the operations log. Each chunk is dumped first (WriteRawDump,
// "klb20_", one counter for all ASTM drivers). Waits read clock::monotonicMs(), on the ticks the
// port slot passes every 50 ms (Tick).
//
// Main thread only. One object per class serves every source bound to it; the result viewer
// makes its own to read a stored file.
class TASTMDriver : public TComDriver
{
public:
    static constexpr int ReplyTimeoutMs = 15000;
    static constexpr int NakBidDelayMs = 10000;
    static constexpr int ContentionBidDelayMs = 20000;
    static constexpr int MaxSends = 6;
    static constexpr int MaxBids = 6;

    TASTMDriver();
    ~TASTMDriver() override;

    int GetFieldCount() const override;
    void GetFieldInfo(int Index, TFldInfo& Info) const override;
    void DataReceived(const char* Data, int Count) override;
    // The result file (TASTMMessage::SaveToFile and LoadFromFile of Message).
    void SaveToFile(const QString& FileName) override;
    void LoadFromFile(const QString& FileName) override;
    void GetResults(TResInfo& ResInfo) override;

    virtual int GetMode();
    // Starts a host poll where the analyser has one; false otherwise.
    virtual bool StartPolling();
    // Fields of the device that replace rows of the E1394 field table.
    virtual int GetDeviceFieldCount() const;
    virtual void GetDeviceFieldInfo(int Index, TFldInfo& Info) const;

    // The port slot's tick: gives up a send that had no reply in time, bids a waiting answer.
    void Tick();

    // The layout rows of a record type, in ID order ("Record type ID" included); the whole table.
    const std::vector<TASTMLayoutRow>& LayoutRows(char RecType) const;
    const std::vector<TASTMLayoutRow>& Layout() const { return m_layout; }
    // FieldOf the code of each of LayoutRows(RecType), in the same order.
    const std::vector<TASTMLayoutField>& LayoutFields(char RecType) const;
    // The fields-table row of the code; nullptr when the table has none.
    const TFldInfo* FieldOf(int Code) const
    {
        if (Code < 0 || size_t(Code) >= m_fieldIndex.size() || m_fieldIndex[size_t(Code)] < 0)
            return nullptr;
        return &m_fields[size_t(m_fieldIndex[size_t(Code)])];
    }
    // The codes of the fields with that SYSCODE, in the order of the fields table.
    QList<int> CodesOfSysCode(int SysCode) const;

    std::unique_ptr<TASTMMessage> Message;
    std::unique_ptr<TASTMRecord> Record;
    std::unique_ptr<TASTMFrame> Frame;
    std::unique_ptr<MemDataSet> RecordLayout;
    // The message being sent or waiting to be bid; null when none.
    std::unique_ptr<TASTMMessage> Answer;
    // The position in Answer of the next record to send.
    int SendIndex = 0;

protected:
    void Create() override;
    void FillFields() override;
    // Makes the message the answer to send: bid at once when idle, else as soon as the driver is.
    void SendMessage(std::unique_ptr<TASTMMessage> Message_);
    // The message built by StartPolling and by the answer to a query.
    virtual std::unique_ptr<TASTMMessage> NewMessage();

private:
    void Receive(const QByteArray& Chunk);
    void Dump(const QByteArray& Chunk);
    void ReceiveFrame(const QByteArray& Chunk);
    void TakeRecord();
    void EndOfMessage(bool Restarting);
    void StoreMessage();
    void DropQuery(const QString& Why);
    void Reply(char Byte);
    void Bid();
    void BidFailed(int DelayMs, const QString& Why);
    void SendCurrentFrame();
    void GiveUp(const QString& Why);
    void Log(const QString& Text) const;
    bool SendByte(char Byte);

    std::vector<TASTMLayoutRow> m_layout;
    std::vector<std::vector<TASTMLayoutRow>>
        m_layoutByType; // by the index of the type in "HLPORCQ"
    std::vector<std::vector<TASTMLayoutField>> m_layoutFieldsByType; // as m_layoutByType
    std::vector<TFldInfo> m_fields;                                  // the fields table in ID order
    std::vector<int> m_fieldIndex; // by code: the index in m_fields, -1 for none

    // Sending.
    enum class Awaiting { Nothing, EnqReply, FrameReply };
    Awaiting m_awaiting = Awaiting::Nothing;
    qint64 m_deadline = 0; // when the reply awaited is overdue
    qint64 m_bidAt = 0;    // when a waiting answer may be bid
    int m_sends = 0;       // sends of the frame in flight
    int m_bids = 0;        // bids of the answer
    QByteArray m_frameBytes;

    // Receiving.
    bool m_receiving = false;
    QByteArray m_pending;
};

// The program's sequence of ASTM dump files (shared by every ASTM driver).
extern int ASTMDumpCounter;
