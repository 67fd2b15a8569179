// The Integra driver: a raw dump per chunk and an acknowledgement at the end of each message.
#include "integra.h"

#include <analysers/comdrv.h>
#include <analysers/rawdump.h>
#include <platform/controlchars.h>
#include <platform/softcheck.h>

void TIntegraDriver::DataReceived(const char* Data, int Count)
{
    if (!Data || Count <= 0)
        return;
    // Acknowledged only once kept.
    WriteRawDump(QStringLiteral("mvd_"), m_counter, QByteArray(Data, Count));
    const char last = Data[Count - 1];
    if (last == ETX || last == ENQ) {
        if (QV_SOFT_CHECK(Port, QStringLiteral("the Integra driver is bound to no port")))
            Port->SendChar(ACK);
    }
}
