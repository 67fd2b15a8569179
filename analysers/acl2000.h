// TACL2000: the older ACL 2000 capture driver. It keeps each complete message the analyser sends
// as a raw dump and answers it with a short acknowledgement; nothing becomes a document.
#pragma once

#include <analysers/bindata.h>
#include <analysers/drvmain.h>

// A message ends two bytes after its second LF. Each complete message is written to
// "acl2_<n>.dat" in the working folder's "com_buf/" folder (n counting from 0 for the run, passing
// over numbers whose file already exists) and answered with "!" and its bytes 1 to 4, one
// character at a time, each after a pause of 20 ms. A message too short to hold those four bytes
// is dumped and not answered. Bytes after the end of a message stay for the next one, so several
// messages in one chunk are each handled.
//
// Main thread only; each answer holds the main thread for 100 ms. One object serves every source
// bound to it (device code ACL).
class TACL2000 : public TComDriver
{
public:
    TACL2000() = default;

    // Adds the chunk to the buffer and handles every message completed by it. Raises EInOutError
    // when a dump cannot be written; that message and what follows it then stay in the buffer and
    // are handled with the next chunk.
    void DataReceived(const char* Data, int Count) override;

    // Bytes received that do not yet form a complete message.
    const TMemStream& Buffer() const { return m_buffer; }
    // The number of the next dump.
    int DumpCounter() const { return m_counter; }

private:
    void Answer(const QByteArray& Message);

    TMemStream m_buffer;
    int m_counter = 0;
};
