// TParser: the analyser driver that knows no device of its own. A device is described by a
// message layout, a code table and a protocol file; the parser cuts a received message into named
// fields by the layout, translates coded fields by the code table, and builds the bytes of each
// protocol step from its parts and the current field values.
#pragma once

#include <analysers/drvmain.h>
#include <analysers/protocolmodel.h>

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

// One row of a message layout, in field order.
struct TMsgFldInfo
{
    QByteArray Selector; // ";"-separated values; non-empty on the first row of a block
    QByteArray Depends;  // selectors of repeated groups whose moves also move this row
    qint32 Unused = 0;   // read by nothing
    QByteArray Name;     // the field the row stores
    QByteArray RefField; // the field read by translated and switch rows, the delimiter of
                         // delimited rows, the separator of a group end
    qint32 Kind = 0;     // see TParser
    qint32 Offset = 0;   // 0-based byte offset in the message
    qint32 Length = 0;   // byte count
};

// One row of a code table: the Code of a value of a row of kind Kind gives FieldName the Text.
struct TRepFldInfo
{
    qint32 Kind = 0;
    QByteArray Code;
    QByteArray Text;
    QByteArray FieldName;
};

// Row kinds of a message layout:
//
//   kind | the row
//   0    | a literal or separator; stores nothing
//   1    | Length bytes at Offset, appended to the field Name (collected, cleared per message)
//   2    | the same, in place of the value of the persistent field Name
//   3, 4 | from Offset up to the delimiter RefField, collected (3) or persistent (4); the rows
//   after
//        | it are placed again behind the delimiter
//   5    | a switch: the value (the last of the field RefField, or the bytes at Offset) selects the
//        | block whose Selector lists it, and that block is parsed next
//   6    | the end of a group of the Length rows before it, parsed again at each repetition until
//        | RefField stands at its end
//   7 up | translated: the value (of the field RefField, or the bytes at Offset) is looked up among
//        | the code rows of the same kind, whose FieldName gets their Text
//
// A block runs from a row with a Selector to the row before the next one. The parser works on
// its own copy of the rows: placing a delimited field moves the rows after it, and the moves last
// from message to message, as the layout expects.
//
// Reads never leave the message: a row that does not lie wholly inside it, or a delimiter that
// does not occur, stores nothing, and a repeated group stops at its end. A switch value selects
// the first row, counted from the row after the switch and then from the top, whose Selector
// holds it as a whole item; an empty value selects nothing, and neither does a block that is being
// parsed already.
class TParser : public TDriver
{
public:
    // Raised out of Create when the protocol file cannot be loaded; see LoadProtocolFile.
    TParser(QString FileName, std::vector<TMsgFldInfo> MsgFields,
            std::vector<TRepFldInfo> RepFields);
    ~TParser() override;

    // Removes the fields that are not persistent.
    void ClearMessageFields();
    // Nothing for a null Data; otherwise the collected fields are cleared and the message is
    // parsed from the first layout row.
    void ParseMessage(const char* Data, int Size);
    void ParseMessage(const QByteArray& Data) { ParseMessage(Data.constData(), int(Data.size())); }
    void ParseBlock(const char* Data, int Size, int First);
    // Counters of the fields' values: kind 1 alternates "0" and "1", kind 2 counts up. Raises
    // EConvertError for a counter that is not a decimal number.
    void AdvanceCounters();
    // Builds SendData and ExpectedData of step Index afresh (see the .cpp for the parts' rules).
    void BuildCommand(int Index);
    static bool SameResult(const protocol::TResult& A, const protocol::TResult& B);

    protocol::TActionsList Actions;
    protocol::TCommandsList Commands;
    protocol::TFieldsList Fields;
    protocol::TInformationList Informations;
    // Fired with a collected item once it is complete; nothing assigns it in this program.
    std::function<void(protocol::TInformation& Item)> OnInformation;

    const std::vector<TMsgFldInfo>& MsgFields() const { return m_msgFields; }
    const QString& FileName() const { return m_fileName; }

protected:
    // Appends the device's checksum to Value.
    virtual void AppendChecksum(protocol::TResult& Value) = 0;
    // Device-specific computation of action values.
    virtual void CalcSpecialFields(protocol::TActionsList& Actions,
                                   protocol::TFieldsList& Fields) = 0;

    // Loads the protocol file after the driver's tables.
    void Create() override;

private:
    void ParseRow(const char* Data, int Size, int Index);
    void ParseDelimited(QByteArrayView Message, int Index);
    void ParseSwitch(const char* Data, int Size, int Index);
    void ParseGroup(const char* Data, int Size, int Index);
    void ParseTranslated(QByteArrayView Message, int Index);
    // Places the rows after row Index behind it, as far as the placing goes.
    void PlaceRowsAfter(int Index);
    // Turns parts [1..] into bytes (the first part is the control part).
    QByteArray BuildParts(const protocol::TCommandPartList& Parts);
    int FindSelected(const QByteArray& Value, int Switch) const;

    QString m_fileName;
    std::vector<TMsgFldInfo> m_msgFields;
    std::vector<TRepFldInfo> m_repFields;
    // The first rows of the blocks being parsed, innermost last.
    std::vector<int> m_parsing;
};
