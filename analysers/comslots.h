// The eight serial-port slots of the workstation and the serial-source manager's entry points:
// what the main window calls to start, stop and poll the serial sources and to hand it the bytes
// its ports receive, and the table that tells which analyser driver serves a device code.
#pragma once

#include <analysers/comdrv.h>
#include <analysers/drvmain.h>

#include <QDateTime>
#include <QString>

#include <functional>
#include <type_traits>
#include <typeindex>

// One slot per COM port 1 to 8. Binding a serial source (CreateSourceDriver) fills it.
struct TComPortSlot
{
    // The port component of COM n, owned by the slot table: made on first use of the slot and
    // freed with the application (or by FreeComPortSlots).
    TCommPortDriver* Port = nullptr;
    // Number of the source bound to the slot; 0 while none is.
    int Number = 0;
    // Capture state: 1 while the slot's capture buffer collects a document, else 0. The main
    // window sets it to 0 before it opens or closes the slot's port by hand.
    qint32 State = 0;
    // Time of the last reception on the slot (the program's clock).
    QDateTime LastReceive;
    // Capture settings of the bound source.
    bool FSTX = false; // a document starts only with the start byte, which is not kept
    int STX = 0;       // start byte
    int ETX = 0;       // end byte (never kept)
    int Timeout = -1;  // seconds of silence that end a document; below 1: none
    // Acknowledge SOH and ETX and drop ACK (device code "ALB").
    bool AckMode = false;
    // Device code of the bound source, as stored.
    QString Code;
    // The bound driver's receive procedure; empty in capture mode.
    std::function<void(const char* Data, int Count)> ReceiveProc;
    // The bound driver's tick, passed every TickIntervalMs whether bytes came or not; empty when
    // the driver keeps no time.
    std::function<void()> TickProc;
};

// The slot table, indexed 1 to 8 (slot n serves COM n).
class TComPortSlots
{
public:
    static constexpr int Count = 8;
    // The slot; its port exists once this returns. Slot must be 1 to 8.
    TComPortSlot& operator[](int Slot);

private:
    friend void FreeComPortSlots();

    TComPortSlot m_slots[Count];
};

extern TComPortSlots ComPortSlots;

// Disconnects and frees the ports of the slots and the driver objects, and empties the slots. Runs
// when the application object goes away; the next use of a slot makes a new port.
void FreeComPortSlots();

// ---- index maps from the stored serial settings to the port component's enumerations

// COM port number 1..8 to the ComPort enumeration 0..7; any other value gives 0.
int PortNumberToIndex(int Port);
// Stored baud-rate index 0..12 to the speed enumeration (the same value); any other value 0.
int BaudIndexToRate(int Index);
// 5, 6, 7 data bits give the enumeration values 0, 1, 2; any other value 3 (8 bits).
int DataBitsToEnum(int Bits);
// The stored stop-bit choice, which is the position in the configuration's list (0 one, 1 one and
// a half, 2 two stop bits), to the enumeration: 2 gives 2 (sb2BITS), 1 and 1.5 give 1
// (sb1HALFBITS), any other value 0 (sb1BITS).
int StopBitsToEnum(double Bits);
// Stored parity 0..4 (none, odd, even, mark, space) to the enumeration; any other value 0.
int ParityToEnum(int Parity);

// ---- the device-code table and the driver factory

// How the sources of one device code are served. A code without an entry is captured raw.
struct TDeviceDriverEntry
{
    QString Code; // the device code, upper case
    // The driver class: every code of one class shares one driver object for the whole run, made
    // at the first binding.
    std::type_index Class = typeid(void);
    TDriverClass DriverClass;
    // The receive procedure of the driver's unit; empty for a driver that takes no bytes from the
    // slot (it talks over a port of its own).
    std::function<void(TDriver& Driver, const char* Data, int Count)> ReceiveProc;
    // The device's number in the practice database, set on the driver at each binding; 0 leaves
    // the driver's own.
    int DevCode = 0;
    // Run after each binding (the host-query warm-up); empty when none. When it raises, the
    // failure is logged and the binding stands.
    std::function<void(TDriver& Driver)> WarmUp;
    // The driver's tick, for the protocols that wait on time (replies, bids); empty when none.
    std::function<void(TDriver& Driver)> Tick;
};

// The receive procedure of driver class D: hands a slot's bytes to the driver object through the
// receive entry the class provides (overrides), DataReceived or else PortReceiveData (with no
// sender). The choice is made when the table is compiled; a class with neither does not compile.
template <class D> void ReceiveProcOf(TDriver& Driver, const char* Data, int Count)
{
    constexpr bool dataReceived =
        !std::is_same_v<decltype(&D::DataReceived), decltype(&TDriver::DataReceived)>;
    constexpr bool portReceiveData =
        !std::is_same_v<decltype(&D::PortReceiveData), decltype(&TDriver::PortReceiveData)>;
    static_assert(dataReceived || portReceiveData, "the driver class takes no bytes");
    if constexpr (dataReceived)
        Driver.DataReceived(Data, Count);
    else
        Driver.PortReceiveData(nullptr, Data, Count);
}

// The entry that has driver class D serve the device code: its class reference and receive
// procedure, no device number, no warm-up.
template <class D> TDeviceDriverEntry DeviceDriverEntryOf(const QString& Code)
{
    return {Code, typeid(D), DriverClassOf<D>(), &ReceiveProcOf<D>, 0, {}, {}};
}

// Adds an entry to the table, or replaces the one of its code. The program's own drivers are in it
// from the start: Hitachi 911 and 912 ("911", "912", device numbers 1 and 2, the host query
// warmed up), the ASTM analysers (Elecsys "ELX" and "AST" (one object; ELX device number 3, the
// host query warmed up), pHOx "PHX", Access "ACS" (4, warmed up), ACT 10 "ACT", Immulite "IML"
// (1), Konelab 20 "KLB"), HMX ("MXM", "HMX"), Miditron ("MDT"), Integra ("INT"), the older ACL 2000
// capture
// ("ACL") and the table-driven ACL 2000 dialogue ("ACX").
void RegisterDeviceDriver(const TDeviceDriverEntry& Entry);
// The entry of the code (compared in upper case), or nullptr when the code is captured raw.
const TDeviceDriverEntry* FindDeviceDriver(const QString& Code);
// The driver object of a class, or nullptr before the first binding of one of its codes.
TDriver* DriverObject(std::type_index Class);

// ---- the serial-source manager
//
// The capture of a slot without a driver, byte by byte (the end byte is never kept, the start
// byte is kept only without FSTX):
//
//   state          | byte                        | does                              | next
//   0 waiting      | not STX, FSTX on            | dropped                           | 0
//                  | STX with FSTX, or any byte  | new empty buffer file; the byte is | 1
//                  | without FSTX                | kept without FSTX                 |
//   1 collecting   | ETX                         | the buffer is registered          | 0 with FSTX,
//                  |                             |                                   | else 1 with
//                  |                             |                                   | new buffer
//                  | any other                   | kept                              | 1
//   1 collecting   | (silence above Timeout s)   | the buffer is registered          | 0
//
// Before every byte: a port with 7 data bits clears bit 7; in acknowledge mode bit 7 is cleared,
// SOH is answered with ACK and dropped, ETX is answered with ACK and goes on as above, and ACK is
// dropped (the ACK sent is 0x86 on a 7-bit port, else 0x06).
//
// The buffer of slot n is "comport<n>.buf" in ComBufDir; what a batch brings is appended to it at
// the end of the batch. Registering hands it to the workstation (StoreResult, type the device
// code), or for the code "BFA" converts it into reports (ReadBFAFile) and hands over each, with
// its patient's fields; each document is announced (RefreshDocuments). An empty buffer is never
// registered. A buffer that the workstation cannot store is kept under a name the next capture
// does not reuse (see StoreResult). A buffer file found holding bytes when a new document starts
// (a capture cut short by the program's end or by a state reset) is kept the same way, and
// binding a slot that is collecting registers what it has collected first.

// Bytes received on slot 1..8. A bound driver's receive procedure gets them, otherwise they are
// captured. The slot's port does not deliver meanwhile, and polls again afterwards, also when the
// driver raises; its errors go on to the caller.
void ReceiveComData(int Slot, int Count, const char* Data);
// Binds serial source Number to the slot of its COM port: the capture settings, and the driver of
// its device code (or capture mode; "ALB" captures in acknowledge mode). With State 1 and the
// source active, its device (ComPortDevice) and line settings are set on the port (no flow
// control, RTS raised, DTR on open as the INI key "EnableDTROnOpen" of section "Options.COM<n>"
// says) and the port is opened (one that cannot be opened stays closed); otherwise the port is
// closed. A source without serial settings, or whose port is not 1 to 8, binds nothing (logged);
// so does a source whose driver cannot be made, until it is bound again.
//
// A driver that runs a dialogue on a port of its own ("ACX": COM2) takes no bytes from the slot.
// Binding an active source starts its dialogue on the device of that port (ComPortDevice) unless
// it runs already; binding a passive one stops it. A slot on the driver's own port is never
// opened for such a source, so that the driver gets the device; on another port it captures.
void CreateSourceDriver(int Number, int State);
// Binds every serial source of the sources table, in the order of its index on Type.
void StartComSources();
// Closes every port of the eight slots and ends their attempts to open; a port closed so has no
// failure to tell (ComPortFailure) until it is tried again.
void CloseAllComPorts();
// Opens the port of every active serial source that its slot serves, with its device and that
// source's line settings. The ports of passive sources stay closed, and so does a port that the
// source's driver holds itself.
void OpenConfiguredComPorts();
// Ends the drivers' own dialogues and waits for their workers (at the program's end).
void StopComSources();
// Passes the tick to the driver of every slot that has one (TComPortSlot::TickProc). The slots'
// timer calls it every TickIntervalMs while a driver with a tick is bound.
void TickComPortSlots();
constexpr int TickIntervalMs = 50;
// Registers the capture of each slot that has been silent for more than its source's time-out;
// true when at least one document was registered. Called by the main timer once a second.
bool PollComBuffers();

// Why the port of COM Port could not be opened for serial source Number at its last attempt, as
// the sources list tells it ("Port série COM1 (/dev/ttyS0) non ouvert : ..."); empty while it is
// open, when the slot serves another source, and before any attempt failed.
QString ComPortFailure(int Port, int Number);
// The failure of the last attempt to open the port of COM Port as the box that tells the user
// who activated or saved a source on it: the port, its device, the reason, and that the port is
// tried again; empty while it is open and before any attempt failed.
QString ComPortFailureMessage(int Port);

// The device of COM port n (1-based) as the program's INI file (IniFileName) names it: key
// "Device" of section "Options.COM<n>", else "/dev/ttyS<n-1>". Whoever opens a slot's port hands
// it over first (TCommPortDriver::SetDeviceName).
QString ComPortDevice(int Port);
// The capture buffer of slot n: ComBufDir + "comport<n>.buf".
QString ComPortBufferName(int Slot);
