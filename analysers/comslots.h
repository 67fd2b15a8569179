// The eight serial-port slots of the workstation and the serial-source manager's entry points:
// what the main window calls to start, stop and poll the serial sources and to hand it the bytes
// its ports receive.
#pragma once

#include <analysers/comdrv.h>

// One slot per COM port 1 to 8.
struct TComPortSlot
{
    // The port component of COM n; created when the program starts, nullptr until then.
    TCommPortDriver* Port = nullptr;
    // Capture state: 1 while a raw-capture buffer file of the slot is in use, else 0.
    qint32 State = 0;
};

// The slot table, indexed 1 to 8.
class TComPortSlots
{
public:
    static constexpr int Count = 8;
    TComPortSlot& operator[](int Slot);

private:
    TComPortSlot m_slots[Count];
};

extern TComPortSlots ComPortSlots;

// COM port number 1..8 to the ComPort enumeration 0..7; any other value gives 0.
int PortNumberToIndex(int Port);
// Stored baud-rate index 0..12 to the speed enumeration (the same value); any other value 0.
int BaudIndexToRate(int Index);
// 5, 6, 7 data bits give the enumeration values 0, 1, 2; any other value 3 (8 bits).
int DataBitsToEnum(int Bits);
// 2 stop bits give 2, 1.5 gives 1, any other value 0 (one stop bit).
int StopBitsToEnum(double Bits);
// Stored parity 0..4 (none, odd, even, mark, space) to the enumeration; any other value 0.
int ParityToEnum(int Parity);

// Bytes received on slot 1..8: for the slot's driver, or appended to its raw-capture buffer.
void ReceiveComData(int Slot, int Count, const char* Data);
// Binds a driver for serial source Number to its port slot; State 1 opens the port, others close
// it.
void CreateSourceDriver(int Number, int State);
// Starts every serial source of the sources table.
void StartComSources();
// Closes every open port of the eight slots.
void CloseAllComPorts();
// Opens the port of every serial source configured in com.DB.
void OpenConfiguredComPorts();
// Turns each raw-capture buffer that has been silent long enough into a registered document;
// true when at least one was registered.
bool PollComBuffers();
