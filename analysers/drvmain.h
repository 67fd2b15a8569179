// The base of every analyser driver: TDriver and TComDriver, the records in which a driver class
// describes its device (TFldInfo, TRecInfo, TTestInfo), the result holder TResInfo that the
// viewers fill, and the byte and text helpers the protocols share (control-character names,
// hexadecimal digits, byte-pattern search).
//
// Adding a driver:
// - The class: analysers/<name>.h and .cpp (listed in analysers/CMakeLists.txt), a TComDriver
//   whose header draws its link protocol as a state table and whose code follows it in the same
//   order. It describes its device through the description getters when it has field, record or
//   test tables, answers through Port (SendChar, SendData: bounded writes), names control bytes
//   by platform/controlchars.h, and hands each complete result to Workstation() (StoreResult,
//   which keeps a result it cannot store, then RefreshDocuments).
// - Its table line: one DeviceDriverEntryOf<TNameDriver>(QStringLiteral("CODE")) per device code
//   in builtInDrivers() of analysers/comslots.cpp; set DevCode or WarmUp on the entry when the
//   device needs them. Every code of a class shares one driver object.
// - Its receive path: override DataReceived (or PortReceiveData); the table's receive procedure
//   (ReceiveProcOf) hands it each chunk of the slot's port as it comes, cut anywhere. Polling is
//   paused meanwhile, and what it raises reaches the port's caller.
// - Its tests: tests/analysers/<name>_test.cpp drives the class on the scripted line
//   (DriverOnFakeLine in driverharness.h: receive() chunks cut where the case wants them,
//   answers() what it sent back); whole sessions run over a pseudo-terminal pair with a
//   ScriptedPeer (support/ptypair.h), through routePorts in the slot tests or against the program
//   in tests/app/serial_e2e_test.cpp; a fuzz target <name>_fuzz.cpp (fuzz::BoundDriver of
//   analyser_fuzz.h) with its seed corpus in tests/data/fuzz/<name>/, listed in
//   tests/cmake/fuzz.cmake.
#pragma once

#include <platform/data/memdataset.h>
#include <platform/exception.h>

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>
#include <memory>
#include <utility>

class TCommPortDriver;
class TResInfo;
class THostQuery;

// A driver class was asked for an operation it does not provide (a receive entry, a file or
// result operation, or a description getter behind a count above 0). Always a programming error
// of that driver class.
QV_EXCEPTION_CLASS(EAbstractError, Exception)

// One field of the device's messages. All integers are signed 32-bit.
struct TFldInfo
{
    qint32 CODE = 0;     // field code, unique per device
    qint32 SYSCODE = 0;  // what the value means to the program (TSysCode; 0 nothing)
    qint32 FLDGROUP = 0; // record kind or group the field belongs to
    QString DEFLABEL;    // default label
    qint32 FLDTYPE = 0;  // field type, as the driver defines it
    qint32 FLDLEN = 0;   // length in bytes, 0 when variable
    QString FLDCONT;     // fixed content or value list, empty when none
};

// One entry of a device's record layout: field CODE stands at position NUM of records of kind
// RECTYPE.
struct TRecInfo
{
    qint32 RECTYPE = 0;
    qint32 NUM = 0;
    qint32 CODE = 0;
};

// One test the device reports.
struct TTestInfo
{
    qint32 NUM = 0; // test number (0 for devices that identify tests by code only)
    QString CODE;
    QString UNIT_;
    QString NAME;
};

// The meanings the program gives a field's value (TFldInfo::SYSCODE). Drivers fill these from
// their messages and look values up by them (the host query echoes sample and carrier fields).
enum TSysCode : qint32 {
    scNone = 0,
    scSenderName = 1,   // the sender's name; the program answers with its own (GetSysCodeValue)
    scSampleID = 2,     // sample identifier
    scCarrierSeqNo = 3, // sequence number in the carrier
    scCarrierNo = 4,    // carrier (rack or disk)
    scCarrierPos = 5,   // position in the carrier
    scDate = 6,
    scTime = 7,
    scPatientID = 8, // the practice's patient identifier
    scPatientName = 9,
    scPatientAge = 10,
    scPatientSex = 11,
    scDoctorName = 12,
    scDataLine = 101,    // a line of results still to be cut into tests
    scResultValue = 102, // result value
    scTestNumber = 103,  // test number
    scTestCode = 104,    // test code of the manufacturer
    scUnits = 105,
    scResultFlags = 106,
};

class TDriver;
// A class reference: makes a new, fully created driver of one class.
using TDriverClass = std::function<std::unique_ptr<TDriver>()>;

// The base of every analyser driver.
//
// A driver class describes its device by class-level tables (fields of its messages, record
// layout, tests), given by the description getters. Creation copies them into three in-memory
// tables:
//   Fields  "ID", "CODE", "SYSCODE", "FLDGROUP", "DEFLABEL" (255), "FLDTYPE", "FLDLEN",
//           "FLDCONT" (255); indexes "idxID" (primary), "idxCODE" (unique), "idxSYSCODE".
//   Records "ID", "RECTYPE", "NUM", "CODE"; indexes "idxID" (primary), "idxRECTYPE".
//   Tests   "ID", "NUM", "CODE" (30), "NAME" (255), "UNIT_" (50), "INST"; indexes "idxID"
//           (primary), "idxNUM", "idxCODE" (case-insensitive).
// "ID" is the description's 0-based index in its class table, so "idxID" gives the class order.
// Every column is required except the Tests' "NUM", "NAME" and "UNIT_"; an empty text counts
// as a value. A class without field or record descriptions has no Fields or Records table; the
// Tests table always exists.
//
// Creation runs in two steps, so that the creation steps reach the overrides of the class being
// made (a C++ constructor could only reach the base's): the constructor sets the fields, then
// Create builds the tables. Make drivers with New<D>(...) or through a TDriverClass, never with
// a bare constructor. A subclass that overrides Create calls its base's Create first.
//
// Everything runs on the main thread, except the drivers that run a worker of their own.
class TDriver
{
public:
    virtual ~TDriver();
    TDriver(const TDriver&) = delete;
    TDriver& operator=(const TDriver&) = delete;

    // Constructs a D with the arguments (through its public constructor) and creates it
    // (Create). An exception of the creation destroys the half-made driver and reaches the caller.
    template <class D, class... Args> static std::unique_ptr<D> New(Args&&... args)
    {
        auto driver = std::make_unique<D>(std::forward<Args>(args)...);
        static_cast<TDriver*>(driver.get())->Create();
        return driver;
    }

    // ---- the device, described by the class. These read no state of the object: what they
    // give belongs to the class. The counts default to 0; a getter that a class with a count
    // above 0 does not provide raises EAbstractError.
    virtual int GetFieldCount() const;
    virtual void GetFieldInfo(int Index, TFldInfo& Info) const;
    virtual int GetRecordCount() const;
    virtual void GetRecordInfo(int Index, TRecInfo& Info) const;
    virtual int GetTestCount() const;
    virtual void GetTestInfo(int Index, TTestInfo& Info) const;

    // ---- receiving. Most serial drivers take their bytes through DataReceived, the others
    // through PortReceiveData; the one a class does not provide raises EAbstractError.
    virtual void DataReceived(const char* Data, int Count);
    virtual void PortReceiveData(TCommPortDriver* Sender, const char* Data, int Count);

    // Copies into Info the first class description whose CODE equals Code and returns true;
    // false, with Info unchanged, when none has it. Reads the class descriptions (one getter
    // call per field until the match), not the Fields table, which a driver may have adapted.
    virtual bool FindFieldInfo(int Code, TFldInfo& Info) const;

    // ---- results: a complete result is saved to a file, which may later be loaded again to
    // fill a result holder for the viewer. Raise EAbstractError unless the class provides them.
    virtual void SaveToFile(const QString& FileName);
    virtual void LoadFromFile(const QString& FileName);
    virtual void GetResults(TResInfo& ResInfo);

    // The program's own value of a system code: scSenderName gives the program's name
    // ("QUORVANE") and true; any other code gives false and leaves Value unchanged.
    virtual bool GetSysCodeValue(int SysCode, QString& Value);

    // A flag for the subclasses' own use, false at creation.
    virtual bool GetFlag() const;
    virtual void SetFlag(bool Value);

    // The copies of the class descriptions. Fields and Records are null when the class has none.
    MemDataSet* Fields() const { return m_fields.get(); }
    MemDataSet* Records() const { return m_records.get(); }
    MemDataSet* Tests() const { return m_tests.get(); }

    // Set by each binding of the driver to a serial source.
    int Number = 0;  // number of the serial source the driver serves
    int DevCode = 0; // the device's number in the practice database (LAB_DEV_ID), 0 when none

    // ---- the host query on the practice database (hostquery.h), for analysers that ask which
    // tests to run on a sample. The database is the workstation's (Workstation().DBAccess()).

    // Loads the sample's request and patient row, the tests ordered for this device (DevCode)
    // and the tests already imported for the sample, and leaves the ordered tests not imported
    // in HostQuery->Orders, on its first row by number. A sample no request carries gives no
    // patient row and no orders. Errors of the database and the kernel reach the caller (also
    // when the practice database is not connected); the requests are freed in every case.
    void QueryHost(const QString& SampleCode);
    // The warm-up at binding time: the first 500 request rows of PATDIREC loaded and dropped, so
    // that the first query of an analyser is answered in time. Errors reach the caller.
    void OpenHostQuery();
    // The short names of the last query's patient and prescribing doctor (PatientShortName,
    // DoctorShortName); empty before the first query and when no request carried the sample.
    void GetPatientName(QString& Name) const;
    void GetDoctorName(QString& Name) const;
    // The caches and the orders table of the host query; none until the first query.
    std::shared_ptr<THostQuery> HostQuery;

protected:
    TDriver();

    // Builds the tables: Fields and Records when the class has descriptions of them (define,
    // open, fill), Tests always (filled when the class has tests).
    virtual void Create();

    // Define a table (columns and indexes) without opening it. An override calls the base first
    // and may then add columns or indexes through Fields(), Records() or Tests().
    virtual void CreateFieldsTable();
    virtual void CreateRecordsTable();
    virtual void CreateTestsTable();

    // Fill the current row of a table from the description Index (the row is being appended).
    // AddTest also sets "INST" to true.
    virtual void AddField(int Index);
    virtual void AddRecord(int Index);
    virtual void AddTest(int Index);

    // For each description in class order: append a row, fill it, post.
    virtual void FillFields();
    virtual void FillRecords();
    virtual void FillTests();

    // Raises EAbstractError naming this driver's class and the operation.
    [[noreturn]] void AbstractCall(const char* Operation) const;

    bool Flag = false;

private:
    // Appends Count rows to the table, each filled by Add (one of the AddX hooks) and posted.
    void FillTable(MemDataSet& Table, int Count, void (TDriver::*Add)(int));

    std::unique_ptr<MemDataSet> m_fields;
    std::unique_ptr<MemDataSet> m_records;
    std::unique_ptr<MemDataSet> m_tests;
};

// The class reference of D: each call makes a new driver of that class.
template <class D> TDriverClass DriverClassOf()
{
    return [] { return std::unique_ptr<TDriver>(TDriver::New<D>()); };
}

// The base of the drivers that talk over a serial port.
class TComDriver : public TDriver
{
public:
    // Protocol state of the subclass, 0 at creation.
    quint8 State = 0;
    // The port the driver answers on; not owned, set by the binding (null until then).
    TCommPortDriver* Port = nullptr;

protected:
    TComDriver() = default;
};

// The result holder that a driver's GetResults fills and the result viewer reads, with two
// tables, created and opened empty:
//   Header  "ID", "NAME" (255), "VAL" (255), "CODE"; index "idxID" (primary).
//   Results "ID", "NUM" (30), "CODE" (30), "LABEL" (255), "VAL" (100), "UNIT" (80),
//           "STATE" (150), "COMMENT" (memo); index "idxID" (primary).
// Required: the Header's "ID", "NAME" and "CODE" and the Results' "ID"; an empty text counts as a
// value.
class TResInfo
{
public:
    TResInfo();
    ~TResInfo();
    TResInfo(const TResInfo&) = delete;
    TResInfo& operator=(const TResInfo&) = delete;

    MemDataSet& Header() { return m_header; }
    MemDataSet& Results() { return m_results; }
    const MemDataSet& Header() const { return m_header; }
    const MemDataSet& Results() const { return m_results; }

private:
    MemDataSet m_header;
    MemDataSet m_results;
};

// ---- control characters. Protocol texts and tables write the bytes 1 to 31 by their ASCII
// names in brackets: [STX] for the byte 2.

// The name of the byte ("STX" for 2); empty outside 1 to 31.
QString ControlCharName(int Byte);
// The byte of the name, compared exactly ("STX" gives 2, "stx" nothing); -1 for any other text.
int ControlCharByName(QStringView Name);

// Text := the bytes as characters of the program's code page, each byte 1 to 31 written as its
// name in brackets; byte 0 and the bytes from 32 up are copied. With Count 0 (or below), Text is
// left as it was.
void BytesToTagText(const char* Data, int Count, QString& Text);
QString BytesToTagText(const QByteArray& Data);

// Replaces in the buffer each bracketed name by its byte: the text between "[" and the next "]"
// is upper-cased and looked up among the 31 names. Anything else stays as it is, byte for byte: a
// "[" whose bracketed text is not a name (an unknown name, "[]", or a text holding another "["),
// and a "[" without a closing "]". The buffer only shrinks: Count is updated in place.
void TagTextToBytes(char* Data, int& Count);
void TagTextToBytes(QByteArray& Data);

// ---- hexadecimal

// True for the upper-case hexadecimal digits "0" to "9" and "A" to "F".
bool IsHexChar(char Ch);
// The value of a string of 1 to 8 upper-case hexadecimal digits, most significant first (eight
// digits fill the 32 bits: "FFFFFFFF" gives -1). Raises EConvertError for an empty string, for a
// character that is not such a digit, and for more than 8 digits.
int HexToInt(const QByteArray& Text);
int HexToInt(QStringView Text);

// ---- bytes

// The 0-based position of the first place in Data where the whole pattern lies; -1 when there is
// none, when DataLength is below PatternLength or below 1. An empty pattern lies at 0.
int FindBytes(const char* Pattern, int PatternLength, const char* Data, int DataLength);
int FindBytes(const QByteArray& Pattern, const QByteArray& Data);
// True when the lengths are equal and every byte is equal (two empty buffers are equal).
bool SameBytes(const char* A, int LengthA, const char* B, int LengthB);
bool SameBytes(const QByteArray& A, const QByteArray& B);
