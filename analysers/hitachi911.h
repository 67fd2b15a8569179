// THitachi911Driver: the host computer of a Hitachi 911 chemistry analyser. It answers the
// analyser's order queries with the sample's tests and the patient's names from the practice
// database, stores result frames as documents of type "911" and acknowledges them.
#pragma once

#include <analysers/hitachi.h>

#include <QDeadlineTimer>

// A frame on the wire, both ways: STX, the function character, the body, ETX, the sum of the
// bytes from the function character to the last of the body modulo 256 as two upper-case
// hexadecimal digits, CR. The only raw byte of a body is the ContainerInfo after the sample-type
// letter of the frames "1", "2", ":" and ";": an STX or ETX there is data.
//
//   received       | does                                          | answers
//   ":" result     | stored (StoreFrame) unless the sample type is | ">"; nothing when the
//                  | K, L, M or N (control and calibration)        | workstation kept it aside
//   ";" order query| host query on its Code                        | the order answer
//   ">"            | -                                             | ">" (not sent: "MOR" box)
//   "?"            | -                                             | the last frame sent, again
//   "1", "2", "@"  | -                                             | -
//   refused        | dumped under "!h911_" and logged              | ">"
//
// The order answer: ";", the letter, the ContainerInfo byte, the sample block, the test block,
// "11111", 30 blanks, the transliterated patient name (25), doctor name (20), N_OMON (15) and 10
// blanks: 197 bytes on the wire, 199 for a control sample (whose numbers take two more).
//
// Each frame sent leaves at least 120 ms after the end of the one before (the main thread waits
// on the monotonic clock). Every whole frame received of more than 10 bytes is dumped under
// "h911_", every frame sent of more than 10 bytes under "h911_host_".
//
// Main thread only. One object serves every source of device code 911.
class THitachi911Driver : public THitachiDriver
{
public:
    static constexpr int PacingMs = 120;

    THitachi911Driver();

    // The frame with that function character and body, check digits and CR included.
    static QByteArray Frame(char FrameChar, const QByteArray& Body);
    // Reads a whole frame (STX to CR). Raises TFrameRefused when it is refused (a check, its
    // layout, or the operator answering OK to a question about a value) and Exception for a
    // repeated test.
    static THitachiFrame ParseFrame(const QByteArray& Bytes);
    // The meaning of a sample-type letter and of a data alarm; empty for others.
    static QString SampleTypeMeaning(char Letter);
    static QString DataAlarmMeaning(char Alarm);

    // Runs the host query for the frame's Code and builds the order answer; empty, after the
    // operator's box, when the sample type gives no class.
    QByteArray BuildOrderAnswer(const THitachiFrame& Query);
    // Sends the frame, paced, and keeps it for a repeat; true when every byte was written.
    bool SendFrame(const QByteArray& Bytes);
    // A frame with that function character and no body.
    bool SendChar(char FrameChar);

    // The last frame sent.
    const QByteArray& SendBuffer() const { return m_sendBuffer; }
    // The least time between two frames sent, PacingMs unless set (the fuzz target runs
    // without it).
    void SetPacing(int Ms) { m_pacing = qMax(Ms, 0); }

protected:
    bool StxIsData(const QByteArray& Buffer) const override;
    bool Complete(const QByteArray& Buffer) const override;
    void HandleFrame(const QByteArray& Bytes) override;
    QString AlarmMeaning(char Alarm) const override;

private:
    QByteArray m_sendBuffer;
    QDeadlineTimer m_nextSend{0};
    int m_pacing = PacingMs;
};
