// TACL2000Util: the ACL 2000 coagulation analyser on the command/answer engine. It brings the
// analyser's message layout, code table and test list, its protocol file, its checksum and the
// framing of its answers.
#pragma once

#include <analysers/cmdengine.h>

#include <QByteArray>
#include <QString>

#include <vector>

// An ACL 2000 message: ":" and the four-character checksum field "SC" (bytes 0 to 4), the device
// (5, 6), the header length in four hexadecimal digits (11 to 14) and CR LF; the body from byte 17
// to its own CR LF, then the two checksum characters of everything before them. The header
// length "0034" announces a result header, "001C" a short record: a sample identifier (Id "21" to
// "38" at bytes 41, 42) or a data record (Id "01" to "18"), whose result layout is chosen by the
// test of the last result header.
//
// The protocol file is "Protocols/acl2000.prt" in the program's folder (the folder of IniFileName),
// its names found whatever their case. The port keeps the component's defaults: COM2 at 9600
// baud, 8 data bits, no parity, 1 stop bit. Nothing collected reaches the application.
class TACL2000Util : public TCOMPortDriver
{
public:
    TACL2000Util();
    // Stops the dialogue while the operations it calls still exist.
    ~TACL2000Util() override;

    int GetFieldCount() const override { return 0; }
    void GetFieldInfo(int Index, TFldInfo& Info) const override;
    int GetRecordCount() const override { return 0; }
    int GetTestCount() const override;
    void GetTestInfo(int Index, TTestInfo& Info) const override;

    void GetDefaultSettings(QString& Text) override;

    // The protocol file beside the program's settings file.
    static QString ProtocolFileName();

protected:
    // Appends the two checksum characters of all the bytes, unless the first is "!".
    void AppendChecksum(protocol::TResult& Value) override;
    // The first alternative of action "SC" gets "0000" (see the .cpp).
    void CalcSpecialFields(protocol::TActionsList& Actions, protocol::TFieldsList& Fields) override;
    // A CR LF, a second CR LF after it, and the two checksum characters after that.
    bool IsAnswerComplete(const QByteArray& Data, qsizetype From) override;
    // ":" first, a CR LF, and the checksum of all bytes but the last two equal to those two, in
    // upper case.
    bool CheckAnswer(const QByteArray& Data) override;

private:
    // The answer's CR LFs found so far (up to two), and where the search for the next goes on.
    int m_lineEnds = 0;
    qsizetype m_searchFrom = 0;
};

// The ACL 2000 checksum of the bytes: two upper-case hexadecimal characters.
QByteArray ACL2000Checksum(QByteArrayView Bytes);

// The analyser's tables: the message layout (51 rows), the code table (106 rows) and the tests.
const std::vector<TMsgFldInfo>& ACL2000MsgFields();
const std::vector<TRepFldInfo>& ACL2000RepFields();
const std::vector<TTestInfo>& ACL2000Tests();
