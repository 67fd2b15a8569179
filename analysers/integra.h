// TIntegraDriver: keeps every chunk an Integra analyser sends as a raw dump file and acknowledges
// the end of each of its messages. Nothing it receives becomes a document.
#pragma once

#include <analysers/drvmain.h>

// Each chunk is written whole to "mvd_<n>.dat" in the working folder's "com_buf/" folder, n
// counting from 2000 for the run; a chunk whose last byte is ETX or ENQ is answered with ACK once
// its dump is written. A number whose file already exists (a dump of an earlier run) is skipped,
// so no dump replaces another.
//
// Main thread only. One object serves every source bound to it (device code INT).
class TIntegraDriver : public TComDriver
{
public:
    TIntegraDriver() = default;

    // Dumps the chunk and acknowledges it as described above. Raises EInOutError, with nothing
    // acknowledged, when the dump cannot be written.
    void DataReceived(const char* Data, int Count) override;

    // The number of the next dump.
    int DumpCounter() const { return m_counter; }

private:
    int m_counter = 2000;
};
