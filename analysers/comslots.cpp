// The serial-port slots and the entry points of the serial-source manager. The index maps are
// complete; the manager's own work (drivers, capture buffers) is not built yet and its entry
// points do nothing.
#include "comslots.h"

TComPortSlots ComPortSlots;

TComPortSlot& TComPortSlots::operator[](int Slot)
{
    Q_ASSERT_X(Slot >= 1 && Slot <= Count, "ComPortSlots", "slots are numbered 1 to 8");
    return m_slots[qBound(1, Slot, Count) - 1];
}

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
    if (Bits == 1.5)
        return 1;
    return 0;
}

int ParityToEnum(int Parity)
{
    return Parity >= 0 && Parity <= 4 ? Parity : 0;
}

// Will hand the bytes to the slot's driver or append them to the slot's capture buffer.
void ReceiveComData(int, int, const char*)
{
}

// Will copy the source's line settings into its slot, bind its driver and open or close the port.
void CreateSourceDriver(int, int)
{
}

// Will start every serial source (type 4) of the sources table through CreateSourceDriver.
void StartComSources()
{
}

// Will close every open port of the eight slots.
void CloseAllComPorts()
{
}

// Will open the port of every row of com.DB.
void OpenConfiguredComPorts()
{
}

// Will register the capture buffers that have been silent longer than their source's time-out.
bool PollComBuffers()
{
    return false;
}
