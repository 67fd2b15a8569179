// The serial-source manager: the eight port slots, the device-code table with its one driver
// object per class, binding the serial sources to their slots, and the raw capture of slots
// without a driver, cut into documents by an end byte or by silence.
#include "comslots.h"

#include <analysers/acl2000.h>
#include <analysers/acl2000util.h>
#include <analysers/astmdevices.h>
#include <analysers/hitachi911.h>
#include <analysers/hitachi912.h>
#include <analysers/hmx.h>
#include <analysers/integra.h>
#include <analysers/miditron.h>
#include <analysers/workstation.h>

#include <platform/clock.h>
#include <platform/controlchars.h>
#include <platform/fileops.h>
#include <platform/inifile.h>
#include <platform/regional.h>
#include <platform/serial/serialline.h>
#include <platform/softcheck.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>
#include <platform/support/procs.h>
#include <platform/uitexts.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QTimer>

#include <memory>
#include <unordered_map>

TComPortSlots ComPortSlots;

namespace {

// ---- ownership of the ports and the driver objects

struct Owned
{
    std::unique_ptr<TCommPortDriver> ports[TComPortSlots::Count];
    std::unordered_map<std::type_index, std::unique_ptr<TDriver>> drivers;
    std::unique_ptr<QTimer> tickTimer;
};

Owned& owned()
{
    static Owned o;
    return o;
}

// Ports and drivers hold timers, which must go while the application object still exists.
void freeWithTheApplication()
{
    static bool registered = false;
    if (!registered) {
        qAddPostRoutine(&FreeComPortSlots);
        registered = true;
    }
}

// ---- the device-code table

// A driver that answers host queries: its device's number in the practice database, and the
// host query prepared at each binding.
template <class D> TDeviceDriverEntry hostQueryEntryOf(const QString& Code, int DevCode)
{
    TDeviceDriverEntry entry = DeviceDriverEntryOf<D>(Code);
    entry.DevCode = DevCode;
    entry.WarmUp = [](TDriver& Driver) { Driver.OpenHostQuery(); };
    return entry;
}

// An ASTM driver, which waits on the slot's tick for replies and bids.
template <class D> TDeviceDriverEntry astmEntryOf(TDeviceDriverEntry entry)
{
    entry.Tick = [](TDriver& Driver) { static_cast<TASTMDriver&>(Driver).Tick(); };
    return entry;
}

// The program's own drivers, a line per device code.
QHash<QString, TDeviceDriverEntry> builtInDrivers()
{
    const TDeviceDriverEntry entries[] = {
        hostQueryEntryOf<THitachi911Driver>(QStringLiteral("911"), 1),
        hostQueryEntryOf<THitachi912Driver>(QStringLiteral("912"), 2),
        astmEntryOf<TElecsys>(DeviceDriverEntryOf<TElecsys>(QStringLiteral("AST"))),
        astmEntryOf<TpHOx>(DeviceDriverEntryOf<TpHOx>(QStringLiteral("PHX"))),
        astmEntryOf<TElecsys>(hostQueryEntryOf<TElecsys>(QStringLiteral("ELX"), 3)),
        astmEntryOf<TAccessDriver>(hostQueryEntryOf<TAccessDriver>(QStringLiteral("ACS"), 4)),
        astmEntryOf<TACT10Driver>(DeviceDriverEntryOf<TACT10Driver>(QStringLiteral("ACT"))),
        astmEntryOf<TImmuliteDriver>([] {
            TDeviceDriverEntry e = DeviceDriverEntryOf<TImmuliteDriver>(QStringLiteral("IML"));
            e.DevCode = 1;
            return e;
        }()),
        astmEntryOf<TKonelab20Driver>(DeviceDriverEntryOf<TKonelab20Driver>(QStringLiteral("KLB"))),
        DeviceDriverEntryOf<THMXDriver>(QStringLiteral("MXM")),
        DeviceDriverEntryOf<THMXDriver>(QStringLiteral("HMX")),
        DeviceDriverEntryOf<TMiditronDriver>(QStringLiteral("MDT")),
        DeviceDriverEntryOf<TIntegraDriver>(QStringLiteral("INT")),
        DeviceDriverEntryOf<TACL2000>(QStringLiteral("ACL")),
        // Talks over a port of its own: no receive procedure.
        {QStringLiteral("ACX"), typeid(TACL2000Util), DriverClassOf<TACL2000Util>(), {}, 0, {}, {}},
    };
    QHash<QString, TDeviceDriverEntry> table;
    for (const TDeviceDriverEntry& e : entries)
        table.insert(e.Code.toUpper(), e);
    return table;
}

QHash<QString, TDeviceDriverEntry>& deviceDrivers()
{
    static QHash<QString, TDeviceDriverEntry> table = builtInDrivers();
    return table;
}

TDriver& driverObjectFor(const TDeviceDriverEntry& entry)
{
    std::unique_ptr<TDriver>& driver = owned().drivers[entry.Class];
    if (!driver) {
        freeWithTheApplication();
        driver = entry.DriverClass();
    }
    return *driver;
}

// The driver object of the source's code when that driver runs a dialogue on a port of its own.
TCOMPortDriver* ownDialogue(const SerialSourceRow& row)
{
    const TDeviceDriverEntry* entry = FindDeviceDriver(row.Extension);
    return entry ? dynamic_cast<TCOMPortDriver*>(DriverObject(entry->Class)) : nullptr;
}

// Whether slot n is left closed for the source: its driver's own port is COM n, which only one
// of the two can hold.
bool portLeftToDriver(int n, const SerialSourceRow& row)
{
    const TCOMPortDriver* dialogue = ownDialogue(row);
    return dialogue && int(dialogue->Port()->ComPort()) + 1 == n;
}

// Makes the driver of the source's code unless it exists; false, logged, when it cannot be made
// (its protocol file is missing or damaged), and the source then stays unbound.
bool driverMade(const SerialSourceRow& row)
{
    const QString code = row.Extension.toUpper();
    const TDeviceDriverEntry* entry = FindDeviceDriver(code);
    if (!entry)
        return true;
    try {
        driverObjectFor(*entry);
        return true;
    } catch (const std::exception& e) {
        WriteToLog(QStringLiteral("Serial source %1 (%2) not started: its driver cannot be made: "
                                  "%3")
                       .arg(row.Number)
                       .arg(code, exceptionMessage(e)));
        return false;
    }
}

// ---- the port's device and line settings

void preparePort(int n, TCommPortDriver& port, const SerialSourceRow& row)
{
    port.SetDeviceName(ComPortDevice(n));
    port.SetComPortSpeed(TComPortBaudRate(BaudIndexToRate(row.BaudRate)));
    port.SetComPortDataBits(TComPortDataBits(DataBitsToEnum(row.DataBits)));
    port.SetComPortStopBits(TComPortStopBits(StopBitsToEnum(row.StopBits)));
    port.SetComPortParity(TComPortParity(ParityToEnum(row.Parity)));
    port.SetEnableDTROnOpen(ReadIniInteger(IniFileName, comOptionsSection(n),
                                           QStringLiteral("EnableDTROnOpen"), 0) == 1);
    // Serial sources run with RTS raised and no flow control, whatever the stored handshaking.
    port.SetComPortHwHandshaking(hhNONERTSON);
    port.SetComPortSwHandshaking(shNONE);
}

bool validPort(int n)
{
    return n >= 1 && n <= TComPortSlots::Count;
}

// ---- the capture buffer

void writeFailed(int n, const QString& error, qsizetype lost)
{
    WriteToLog(QStringLiteral("COM%1: %2 received bytes could not be kept in the capture "
                              "buffer: %3")
                   .arg(n)
                   .arg(lost)
                   .arg(error));
}

// A new, empty buffer for the next document. Bytes still in the file were never registered: they
// are kept under a name of their own first.
void startBuffer(int n)
{
    const QString buffer = ComPortBufferName(n);
    const QFileInfo info(buffer);
    if (info.exists() && info.size() > 0)
        KeepUnstoredResult(buffer, QStringLiteral("the capture was cut short before its end"));
    QDir().mkpath(info.path());
    QString error;
    if (!fileops::writeFile(buffer, QByteArray(), &error))
        writeFailed(n, error, 0);
}

void appendToBuffer(int n, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    QString error;
    if (!fileops::appendFile(ComPortBufferName(n), bytes, &error))
        writeFailed(n, error, bytes.size());
}

// The date (or, with isTime, the time) of a BFA report; none, logged, when the text is no such
// value, so that the document keeps the one of its registration.
std::optional<TDateTime> reportMoment(int number, const QString& text, bool isTime)
{
    TDateTime when = 0;
    if (isTime ? TryStrToTime(text, when) : TryStrToDate(text, when))
        return when;
    WriteToLog(QStringLiteral("Document %1: the report %2 \"%3\" is no %2; the document keeps the "
                              "%2 of its registration")
                   .arg(number)
                   .arg(QLatin1String(isTime ? "time" : "date"))
                   .arg(text));
    return std::nullopt;
}

// A BFA report line: patient name, record number, date and time, separated by tabs.
DocumentPatient patientOf(const QString& line, int number)
{
    QStringList fields = line.split(QLatin1Char('\t'));
    for (QString& f : fields)
        f = f.trimmed();
    DocumentPatient patient;
    patient.Name = fields.value(0);
    const QString dossier = fields.value(1);
    if (!dossier.isEmpty()) {
        int value = 0;
        patient.Dossier = TryStrToInt(dossier, value) ? value : 0;
    }
    patient.Date = reportMoment(number, fields.value(2), false);
    patient.Time = reportMoment(number, fields.value(3), true);
    return patient;
}

// A BFA capture becomes one document per report.
int registerBFA(const QString& buffer, const TComPortSlot& slot)
{
    WorkstationService& ws = Workstation();
    QStringList lines;
    int count = 0;
    try {
        count = ws.ReadBFAFile(buffer, lines);
    } catch (const std::exception& e) {
        KeepUnstoredResult(buffer, exceptionMessage(e));
        return 0;
    }
    int registered = 0;
    for (int i = 1; i <= count; ++i) {
        const QString report =
            AddBackslash(QFileInfo(buffer).path()) + QStringLiteral("~bfa%1.tmp").arg(i);
        const int number = ws.StoreResult(report, slot.Number, slot.Code);
        if (number < 1)
            continue;
        ++registered;
        try {
            ws.SetDocumentPatient(number, patientOf(lines.value(i - 1), number));
        } catch (const std::exception& e) {
            WriteToLog(QStringLiteral("Document %1: the patient of the BFA report could not be "
                                      "written: %2")
                           .arg(number)
                           .arg(exceptionMessage(e)));
        }
        ws.RefreshDocuments(number);
    }
    return registered;
}

// Hands the slot's closed buffer to the workstation; the number of documents registered.
int registerBuffer(int n, const TComPortSlot& slot)
{
    const QString buffer = ComPortBufferName(n);
    const QFileInfo info(buffer);
    if (!info.exists() || info.size() == 0)
        return 0;
    if (slot.Code.compare(QLatin1String("BFA"), Qt::CaseInsensitive) == 0)
        return registerBFA(buffer, slot);
    WorkstationService& ws = Workstation();
    const int number = ws.StoreResult(buffer, slot.Number, slot.Code);
    if (number < 1)
        return 0;
    ws.RefreshDocuments(number);
    return 1;
}

void acknowledge(TComPortSlot& slot)
{
    // On a 7-bit port the ACK goes out with bit 7 set.
    slot.Port->SendChar(slot.Port->ComPortDataBits() == db7BITS ? char(ACK | 0x80) : ACK);
}

// The capture of one batch, in the order of the table in the header.
void capture(int n, TComPortSlot& slot, const char* data, int count)
{
    const bool sevenBits = slot.Port->ComPortDataBits() == db7BITS;
    QByteArray collected;
    for (int i = 0; i < count; ++i) {
        quint8 byte = quint8(data[i]);
        if (sevenBits)
            byte &= 0x7F;
        if (slot.AckMode) {
            byte &= 0x7F;
            if (byte == SOH) {
                acknowledge(slot);
                continue;
            }
            if (byte == ACK)
                continue;
            if (byte == ETX)
                acknowledge(slot);
        }
        if (slot.State == 0) {
            if (slot.FSTX && byte != slot.STX)
                continue;
            startBuffer(n);
            slot.State = 1;
            collected.clear();
            if (!slot.FSTX)
                collected.append(char(byte));
        } else if (byte == slot.ETX) {
            appendToBuffer(n, collected);
            collected.clear();
            registerBuffer(n, slot);
            if (slot.FSTX)
                slot.State = 0;
            else
                startBuffer(n);
        } else {
            collected.append(char(byte));
        }
    }
    if (slot.State == 1)
        appendToBuffer(n, collected);
}

// Starts the slots' tick timer unless it runs.
void startTicks()
{
    std::unique_ptr<QTimer>& timer = owned().tickTimer;
    if (!timer) {
        freeWithTheApplication();
        timer = std::make_unique<QTimer>();
        timer->setInterval(TickIntervalMs);
        QObject::connect(timer.get(), &QTimer::timeout, &TickComPortSlots);
    }
    if (!timer->isActive())
        timer->start();
}

// Binds the driver of the source's device code to the slot, or leaves the slot capturing.
void bindDriver(TComPortSlot& slot, const SerialSourceRow& row)
{
    const QString code = row.Extension.toUpper();
    slot.AckMode = code == QLatin1String("ALB");
    slot.ReceiveProc = {};
    slot.TickProc = {};
    const TDeviceDriverEntry* entry = slot.AckMode ? nullptr : FindDeviceDriver(code);
    if (!entry)
        return;
    TDriver& driver = driverObjectFor(*entry);
    if (auto* comDriver = dynamic_cast<TComDriver*>(&driver))
        comDriver->Port = slot.Port;
    driver.Number = row.Number;
    if (entry->DevCode != 0)
        driver.DevCode = entry->DevCode;
    if (entry->ReceiveProc) {
        TDriver* target = &driver;
        slot.ReceiveProc = [proc = entry->ReceiveProc, target](const char* Data, int Count) {
            proc(*target, Data, Count);
        };
    }
    if (entry->Tick) {
        TDriver* target = &driver;
        slot.TickProc = [tick = entry->Tick, target] { tick(*target); };
        startTicks();
    }
    if (entry->WarmUp) {
        try {
            entry->WarmUp(driver);
        } catch (const std::exception& e) {
            WriteToLog(QStringLiteral("Serial source %1 (%2): the host query could not be "
                                      "prepared and is skipped: %3")
                           .arg(row.Number)
                           .arg(code, exceptionMessage(e)));
        }
    }
}

} // namespace

// ---- the slots

TComPortSlot& TComPortSlots::operator[](int Slot)
{
    Q_ASSERT_X(Slot >= 1 && Slot <= Count, "ComPortSlots", "slots are numbered 1 to 8");
    const int i = qBound(1, Slot, Count) - 1;
    TComPortSlot& slot = m_slots[i];
    if (!slot.Port) {
        freeWithTheApplication();
        std::unique_ptr<TCommPortDriver>& port = owned().ports[i];
        port = std::make_unique<TCommPortDriver>();
        port->SetComPort(TComPortNumber(i));
        slot.Port = port.get();
    }
    return slot;
}

void FreeComPortSlots()
{
    Owned& o = owned();
    for (int i = 0; i < TComPortSlots::Count; ++i) {
        TComPortSlot& slot = ComPortSlots.m_slots[i];
        slot = TComPortSlot();
        o.ports[i].reset();
    }
    o.tickTimer.reset();
    o.drivers.clear();
}

QString ComPortDevice(int Port)
{
    return serialDeviceFromIni(Port, [](const QString& section, const QString& key) {
        return IniFileName.isEmpty() ? QString()
                                     : IniFile(IniFileName).readString(section, key, QString());
    });
}

QString ComPortBufferName(int Slot)
{
    return AddBackslash(ComBufDir) + QStringLiteral("comport%1.buf").arg(Slot);
}

// ---- index maps

int PortNumberToIndex(int Port)
{
    return Port >= 1 && Port <= 8 ? Port - 1 : 0;
}

int BaudIndexToRate(int Index)
{
    return Index >= 0 && Index <= 12 ? Index : 0;
}

int DataBitsToEnum(int Bits)
{
    return Bits >= 5 && Bits <= 7 ? Bits - 5 : 3;
}

int StopBitsToEnum(double Bits)
{
    if (Bits == 2.0)
        return 2;
    if (Bits == 1.0 || Bits == 1.5)
        return 1;
    return 0;
}

int ParityToEnum(int Parity)
{
    return Parity >= 0 && Parity <= 4 ? Parity : 0;
}

// ---- the device-code table

void RegisterDeviceDriver(const TDeviceDriverEntry& Entry)
{
    deviceDrivers().insert(Entry.Code.toUpper(), Entry);
}

const TDeviceDriverEntry* FindDeviceDriver(const QString& Code)
{
    const QHash<QString, TDeviceDriverEntry>& table = deviceDrivers();
    const auto it = table.constFind(Code.toUpper());
    return it == table.constEnd() ? nullptr : &it.value();
}

TDriver* DriverObject(std::type_index Class)
{
    const auto& drivers = owned().drivers;
    const auto it = drivers.find(Class);
    return it == drivers.end() ? nullptr : it->second.get();
}

// ---- the serial-source manager

void ReceiveComData(int Slot, int Count, const char* Data)
{
    if (!QV_SOFT_CHECK(validPort(Slot), QStringLiteral("bytes for port slot %1").arg(Slot)))
        return;
    TComPortSlot& slot = ComPortSlots[Slot];
    const PollingPause pause(*slot.Port);
    const auto stamp = qScopeGuard([&slot] { slot.LastReceive = clock::now(); });
    if (slot.ReceiveProc) {
        // A copy: the procedure may pump events, and a binding meanwhile replaces the slot's.
        const auto proc = slot.ReceiveProc;
        proc(Data, Count);
        return;
    }
    if (Data && Count > 0)
        capture(Slot, slot, Data, Count);
}

void CreateSourceDriver(int Number, int State)
{
    const std::optional<SerialSourceRow> row = Workstation().SerialSource(Number);
    if (!row || !row->HasSettings) {
        WriteToLog(
            QStringLiteral("Serial source %1 not started: it has no serial settings").arg(Number));
        return;
    }
    const int n = row->Com;
    if (!validPort(n)) {
        WriteToLog(QStringLiteral("Serial source %1 not started: its port COM%2 is not one of "
                                  "COM1 to COM8")
                       .arg(Number)
                       .arg(n));
        return;
    }
    if (!driverMade(*row))
        return;
    TComPortSlot& slot = ComPortSlots[n];
    if (slot.State == 1) {
        // What the slot has collected is a document of the source it served.
        slot.State = 0;
        registerBuffer(n, slot);
    }
    slot.State = 0;
    slot.Number = row->Number;
    slot.STX = row->STX;
    slot.ETX = row->ETX;
    slot.FSTX = row->FSTX;
    slot.Timeout = row->Timeout;
    slot.Code = row->Extension;
    bindDriver(slot, *row);

    const bool active = State == 1 && row->State == 1;
    if (active && !portLeftToDriver(n, *row)) {
        preparePort(n, *slot.Port, *row);
        slot.Port->Connect();
    } else {
        slot.Port->Disconnect();
        slot.Port->ForgetConnectFailure();
    }
    if (TCOMPortDriver* dialogue = ownDialogue(*row)) {
        if (!active) {
            dialogue->Stop();
        } else if (!dialogue->Running()) {
            TCommPortDriver& port = *dialogue->Port();
            port.SetDeviceName(ComPortDevice(int(port.ComPort()) + 1));
            dialogue->Start();
        }
    }
}

namespace {

// The slot's port when it serves source Number and its last attempt to open failed.
const TCommPortDriver* failedPort(int Port, int Number)
{
    if (!validPort(Port))
        return nullptr;
    const TComPortSlot& slot = ComPortSlots[Port];
    if (!slot.Port || slot.Number != Number ||
        slot.Port->ConnectFailure() == SerialLine::Error::NoError)
        return nullptr;
    return slot.Port;
}

} // namespace

QString ComPortFailure(int Port, int Number)
{
    const TCommPortDriver* port = failedPort(Port, Number);
    return port ? port->ConnectFailureText() : QString();
}

QString ComPortFailureMessage(int Port)
{
    const TCommPortDriver* port = validPort(Port) ? ComPortSlots[Port].Port : nullptr;
    if (!port || port->ConnectFailure() == SerialLine::Error::NoError)
        return QString();
    return uiText(UiText::SerialPortCannotOpen)
        .arg(QStringLiteral("COM%1").arg(Port), port->ConnectFailureDevice(),
             SerialLine::errorUiText(port->ConnectFailure()))
        .arg(TCommPortDriver::ReopenIntervalMs / 1000);
}

void StartComSources()
{
    for (const SerialSourceRow& row : Workstation().SerialSources())
        CreateSourceDriver(row.Number, row.State);
}

void CloseAllComPorts()
{
    for (int n = 1; n <= TComPortSlots::Count; ++n) {
        // Why the port could not be opened before no longer holds once it is closed on purpose:
        // the device may come or go meanwhile.
        ComPortSlots[n].Port->Disconnect();
        ComPortSlots[n].Port->ForgetConnectFailure();
    }
}

void OpenConfiguredComPorts()
{
    for (const SerialSourceRow& row : Workstation().SerialSources()) {
        if (row.State != 1 || !row.HasSettings || !validPort(row.Com))
            continue;
        TComPortSlot& slot = ComPortSlots[row.Com];
        if (slot.Number != row.Number || portLeftToDriver(row.Com, row))
            continue; // the slot serves another source, or its driver holds the port
        preparePort(row.Com, *slot.Port, row);
        slot.Port->Connect();
    }
}

void StopComSources()
{
    for (auto& [type, driver] : owned().drivers) {
        if (auto* dialogue = dynamic_cast<TCOMPortDriver*>(driver.get()))
            dialogue->Stop();
    }
}

void TickComPortSlots()
{
    for (int n = 1; n <= TComPortSlots::Count; ++n) {
        // A copy: the tick may write and pump events, and a binding meanwhile replaces the slot's.
        const auto tick = ComPortSlots[n].TickProc;
        if (tick)
            tick();
    }
}

bool PollComBuffers()
{
    const QDateTime now = clock::now();
    bool registered = false;
    for (int n = 1; n <= TComPortSlots::Count; ++n) {
        TComPortSlot& slot = ComPortSlots[n];
        if (slot.State != 1 || slot.Timeout < 1)
            continue;
        const qint64 silent = slot.LastReceive.isValid() ? slot.LastReceive.msecsTo(now) : -1;
        if (silent < 0) {
            // The clock was put back (or never read): the silence counts from now.
            slot.LastReceive = now;
            continue;
        }
        if (silent <= qint64(slot.Timeout) * 1000)
            continue;
        slot.State = 0;
        if (registerBuffer(n, slot) > 0)
            registered = true;
    }
    return registered;
}
