// What the Hitachi 911 and 912 host drivers share: the frame of one message and the reading of its
// sample fields, the receive buffer that takes a frame from its STX, the order answer's blocks,
// the hand-over of a result with its data alarms, and the transliteration of Cyrillic names.
#pragma once

#include <analysers/drvmain.h>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <exception>
#include <optional>

// Cyrillic letters written with Latin ones, one letter at a time, for the analysers' printouts: a
// letter is found by its upper case in "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧ Ш Щ ЪЫЬЭЮЯ " and written as the
// Latin letters at the same place of "ABVGDEEGZIIKLMNOPRSTYFHCCHSHSH__'EUYA" and at the places
// after it that are blank in the Cyrillic table (Ч gives CH, Я YA). The Latin letters take the
// case of the Cyrillic one, except that those after the first of the text's first character are
// lower case (ЧЕРНОВ gives ChERNOV). Every other character is copied.
QString Translit(const QString& Text);

// Whether the character is one of the set's (never for the character 0).
bool IsOneOf(char C, const char* Set);

// One frame of a Hitachi analyser, as parsed.
class THitachiFrame
{
public:
    char FrameChar = 0;  // the function character
    char TypeLetter = 0; // the sample-type letter; 0 when the frame has none
    char ClassChar = 0;  // 912: the class character after the letter; 0 when none
    // 1 routine, 2 stat, 3 control, 4 calibration, 5 absorbance data; 0 not known.
    quint8 ClassNo = 0;
    // "name=value" lines, in the order received; the result file is made of them.
    QStringList Fields;
    // The non-blank data alarms of the results, by test number.
    QList<std::pair<QString, char>> Alarms;

    // Adds "Name=Value". A name already present raises Exception "Параметр данных %S уже
    // существует." (the name for %S).
    void AddField(const QString& Name, const QString& Value);
    // The value of the field; none when it was not stored.
    std::optional<QString> Field(const QString& Name) const;
};

// Thrown while a frame is read when it is refused (its layout, its check, an answer of the
// operator); Reason says why, for the log.
struct TFrameRefused
{
    QString Reason;
};

// Reads the body of a complete frame: the bytes from after the function character up to the
// frame's ETX. A read past the ETX refuses the frame.
class TFrameReader
{
public:
    TFrameReader(const QByteArray& Frame, int EtxAt) : m_frame(Frame), m_etx(EtxAt) {}

    QByteArray Take(int Count);
    char TakeByte() { return Take(1).at(0); }
    bool AtEtx() const { return m_pos == m_etx; }
    // Passes over the rest of the body.
    void SkipToEtx() { m_pos = m_etx; }

private:
    const QByteArray& m_frame;
    int m_pos = 2;
    int m_etx;
};

// How the two analysers lay out the sample fields.
struct TSampleLayout
{
    bool ContainerInfo; // 911: one raw byte before the sample number
    int SampleNoWidth;  // 3 or 5
    int SampleNoMax;    // 800 or 10000
    bool SampleCup;     // 912: the cup type after the position
};

// Reads the sample fields of a routine or stat frame (the class of Frame says which), each stored
// as received: "ContainerInfo" (as two hexadecimal digits), "SampleNo" (none when blank),
// "DiskNo", "PositionNo", "SampleCup", "Code" (trimmed), "AgeCnt" and "AgeUnit" (only the unit
// when the count is blank), "Sex", "Date" (day/month/year) and "Time" (hour:minute). A value out
// of its range asks the operator (ErrorOkCancelFmt): OK refuses the frame, Cancel skips the field.
void ReadSampleFields(TFrameReader& Reader, THitachiFrame& Frame, const TSampleLayout& Layout);
// Reads the 911's "ContainerInfo" byte alone (the absorbance frames).
void ReadContainerInfo(TFrameReader& Reader, THitachiFrame& Frame);

// ---- the order answer: its blocks, in the program's code page

// The sample block after the letter (and the 912's class character): for control samples
// ControlNo (2) and SeqNo (3), otherwise SampleNo; then DiskNo (1), PositionNo (2), SampleCup (1,
// 912), Code (13); for control samples 15 blanks, otherwise AgeCnt (3), AgeUnit (1), Sex (1), the
// date as MMDDYY and the time as HHMM. Fields are right-aligned, blanks where one is missing.
QByteArray OrderSampleBlock(const THitachiFrame& Frame, const TSampleLayout& Layout);
// "48" and 48 flags, the i-th "1" when the ordered-tests cache of the last host query holds
// TEST_INDEX i.
QByteArray OrderTestBlock(const TDriver& Driver);
// The text in the program's code page, cut to Width bytes and filled with blanks up to it.
QByteArray OrderColumn(const QString& Text, int Width);
// The "Sex" of the order answer from the patient's POL: 0 "1", 1 "2", anything else " ".
QString OrderSex(const TDriver& Driver);
// The N_OMON of the last host query's patient; empty when none.
QString OrderPatientNumber(const TDriver& Driver);

// The base of the two drivers: the receive buffer, the result hand-over and the device fields.
//
// Frames are taken from the bytes as they come (each chunk cut anywhere):
//   - with no frame begun, every byte but STX is dropped; STX begins a frame;
//   - within a frame, an STX that cannot be a byte of the frame (StxIsData) ends the frame
//     broken off: its bytes are dumped and logged, not answered, and the STX begins a new one;
//   - a frame that Complete() says is whole is handed to HandleFrame and the buffer emptied;
//   - a buffer of 1024 bytes that holds no whole frame is dumped, logged and emptied.
// An error raised for one frame (a file that cannot be written, a repeated field, a database
// error) waits until the rest of the chunk is handled and then reaches the caller.
class THitachiDriver : public TComDriver
{
public:
    static constexpr int ReceiveCapacity = 1024;

    ~THitachiDriver() override;

    // Patient ID, name, age and sex and the doctor's name (system codes 8 to 12).
    int GetFieldCount() const override;
    void GetFieldInfo(int Index, TFldInfo& Info) const override;

    void DataReceived(const char* Data, int Count) override;

protected:
    THitachiDriver(QString Unit, QString DumpPrefix);

    // Whether an STX arriving with Buffer holding the frame so far is a byte of that frame.
    virtual bool StxIsData(const QByteArray& Buffer) const = 0;
    // Whether Buffer holds a whole frame.
    virtual bool Complete(const QByteArray& Buffer) const = 0;
    // Handles a whole frame.
    virtual void HandleFrame(const QByteArray& Frame) = 0;

    // Writes Frame.Fields as "~buf~.<Unit>" in the capture folder (one CR LF line each, in the
    // program's code page) and hands it over as a document of type Unit; then each data alarm
    // is logged with the document, "SampleNo", "Code" and the test. Returns the document number,
    // 0 when the workstation could not store it (the file is then kept aside). Raises
    // EInOutError when the file cannot be written.
    int StoreFrame(const THitachiFrame& Frame);
    // The meaning of a data alarm for the log; empty when it has none.
    virtual QString AlarmMeaning(char Alarm) const;

    // Dumps the bytes under Prefix in the working folder's "com_buf/" folder (WriteRawDump, one
    // counter per prefix) and returns the file's name.
    QString Dump(const QString& Prefix, const QByteArray& Bytes);
    // Writes the bytes to the port; true when every one was written.
    bool Write(const QByteArray& Bytes);
    // The operator's box when an answer could not be sent ("MOR", "REP").
    static void SendFailed(const char* Frame);

    // "911" or "912": the document type and the name in the log.
    const QString Unit;
    // "!h911_", "!h912_": where refused and broken-off bytes are dumped.
    const QString RefusedPrefix;

private:
    void Take(char Byte);
    // Dumps and logs bytes that are no whole frame; they are not answered.
    void Drop(const QByteArray& Bytes, const QString& Why);

    QByteArray m_buffer;
    QByteArray m_pending; // bytes that came while a chunk was handled
    bool m_receiving = false;
    std::exception_ptr m_error;
    QHash<QString, int> m_dumpCounters;
};

// A frame's hexadecimal digit pair, as the 911's check and ContainerInfo are written.
QByteArray HexPair(quint8 Byte);
