// THitachi912Driver: the host computer of a Hitachi 912 analyser, as the 911's but with the 912's
// frames, sample header and widths; results are stored as documents of type "912".
#pragma once

#include <analysers/hitachi.h>

// A frame on the wire, both ways: STX, the function character, the body, ETX, and one block-check
// byte, the exclusive-or of every byte from the function character through the ETX. The block
// check is the only raw byte: an STX right after an ETX is that byte.
//
//   received       | does                                          | answers
//   ":" result     | stored (StoreFrame) unless the sample letter  | STX ">" ETX check; nothing
//                  | is F, G, H, I or K                            | when the workstation kept it
//                  |                                               | aside
//   ";" order query| host query on its Code                        | the order answer
//   ">"            | -                                             | ">" (not sent: "MOR" box)
//   "?"            | -                                             | "?"
//   "1", "2", "@"  | -                                             | -
//   refused        | logged                                        | "?" (not sent: "REP" box)
//
// The order answer: ";", the letter, the class character, the sample block, the test block,
// "111111", the transliterated patient name (30), doctor name (25), N_OMON (20) and 45 blanks:
// always 219 bytes on the wire. Frames go out at once, with no pause and no dump.
//
// Main thread only. One object serves every source of device code 912.
class THitachi912Driver : public THitachiDriver
{
public:
    THitachi912Driver();

    // The frame with that function character and body, ETX and block check included.
    static QByteArray Frame(char FrameChar, const QByteArray& Body);
    // Reads a whole frame (STX to block check); raises as THitachi911Driver::ParseFrame.
    static THitachiFrame ParseFrame(const QByteArray& Bytes);
    // The meaning of a sample letter; empty for a letter not in the list.
    static QString SampleTypeMeaning(char Letter);

    // Runs the host query for the frame's Code and builds the order answer; empty, after the
    // operator's box, when the sample letter gives no class.
    QByteArray BuildOrderAnswer(const THitachiFrame& Query);
    // Writes the frame to the port; true when every byte was written.
    bool SendFrame(const QByteArray& Bytes);
    bool SendChar(char FrameChar);

protected:
    bool StxIsData(const QByteArray& Buffer) const override;
    bool Complete(const QByteArray& Buffer) const override;
    void HandleFrame(const QByteArray& Bytes) override;
};
