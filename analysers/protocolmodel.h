// The object model of the table-driven analyser drivers: values, named fields that collect them,
// the reactions (actions) to an analyser's answers, the protocol steps (commands) and the items
// collected from answers; and the loader of the protocol file that holds the steps, the reactions
// and the preset field values.
#pragma once

#include <platform/exception.h>

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

// In a namespace of its own: the driver framework has a record named TFldInfo too.
namespace protocol {

// One value: bytes, and a one-byte tag whose meaning belongs to the list that holds the value
// (0 where the list gives it none).
struct TResult
{
    quint8 Kind = 0;
    QByteArray Data;

    int Size() const { return int(Data.size()); }
    // Replaces the bytes and the kind.
    void SetData(const QByteArray& Bytes, quint8 NewKind);
    void AppendData(const QByteArray& Bytes);
    void ClearData();
    // The bytes as characters of the program's code page, one character per byte.
    QString AsString() const;
    // Turns the control-character names in brackets ("[STX]") into their bytes.
    void ExpandTags();
};

// A list that owns its items, in order.
template <class T> class TItemList
{
public:
    int Count() const { return int(m_items.size()); }
    bool IsEmpty() const { return m_items.empty(); }
    T& GetItem(int Index) { return m_items.at(size_t(Index)); }
    const T& GetItem(int Index) const { return m_items.at(size_t(Index)); }
    T& Add(T Item)
    {
        m_items.push_back(std::move(Item));
        return m_items.back();
    }
    void Delete(int Index) { m_items.erase(m_items.begin() + Index); }
    void Clear() { m_items.clear(); }

    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

protected:
    std::vector<T> m_items;
};

using TResultList = TItemList<TResult>;

// A named field and its values (at least one while the field exists). A persistent field keeps its
// value from message to message; the others hold what the last message gave.
struct TFldInfo
{
    QByteArray Name;
    bool Persistent = false;
    TResultList Values;
};

// Fields, looked up by exact, case-sensitive name.
class TFieldsList : public TItemList<TFldInfo>
{
public:
    // Index of the first (or last) field of that name; -1 when none.
    int IndexOf(const QByteArray& Name) const;
    int LastIndexOf(const QByteArray& Name) const;
    // The first field of that name, or nullptr.
    TFldInfo* Find(const QByteArray& Name);
    const TFldInfo* Find(const QByteArray& Name) const;

    // Appends the value (Bytes, Kind) to the field of that name, or appends a persistent field
    // with it as first value. The loader's preset fields.
    void AddValue(const QByteArray& Name, const QByteArray& Bytes, quint8 Kind);
    // The field of that name and that persistence: a persistent one gets the value in place of its
    // first, another gets it appended; none gets created. The value's kind is 0.
    void SetValue(const QByteArray& Name, const QByteArray& Bytes, bool Persistent);
    // Merges a field into the list by name: appended values to a field that is not persistent,
    // the first value (with its kind) to one that is, and a copy when none has the name.
    void MergeField(const TFldInfo& Field);
    // Removes value ValueIndex of field FieldIndex; the field goes with its last value, and the
    // result then is true.
    bool DeleteValue(int FieldIndex, int ValueIndex);
    // Removes every field that is not persistent.
    void RemoveTransient();
};

// A named reaction. Each value is one alternative: its kind is the reaction, its bytes the field
// value that triggers it (empty: any value).
struct TAction
{
    QByteArray Name;
    TResultList Values;
};

class TActionsList : public TItemList<TAction>
{
public:
    TAction* Find(const QByteArray& Name);
    // Appends the alternative (Kind, Text) to the action of that name, made when absent.
    void AddValue(const QByteArray& Name, quint8 Kind, const QByteArray& Text);
};

// One part of a step, as the protocol file gives it. The first send part of a step is its control
// part (its kind is the repeat count of the step's block), the others build the bytes.
struct TCommandPart
{
    QByteArray Text;
    qint32 Kind = 0;
    qint32 Counter = 0;
};

using TCommandPartList = TItemList<TCommandPart>;

// One protocol step.
struct TCommand
{
    explicit TCommand(qint32 ABlock = 0) : Block(ABlock) {}

    TResult SendData;     // what the step writes; empty for a step that only waits for data
    TResult ExpectedData; // the answer expected; empty when none is awaited
    TResult ReceivedData; // the answer received
    TCommandPartList SendParts;
    TCommandPartList AnswerParts;
    qint32 Block = 0;   // data block 0, 1 or 2; -1 for the recovery steps
    qint32 Timeout = 0; // milliseconds to wait for the answer
};

using TCommandsList = TItemList<TCommand>;

// One item collected from answers: their raw bytes, its key and the fields merged into it.
struct TInformation
{
    TResultList Messages;
    TResult Key;
    TFieldsList Fields;

    void MergeFields(const TFieldsList& List);
    // Keeps a copy of a raw answer; an empty one adds nothing.
    void AddMessage(const QByteArray& Bytes);
};

class TInformationList : public TItemList<TInformation>
{
public:
    // Appends an item keyed by a copy of Value and gives it back.
    TInformation& AddKey(const TResult& Value);
    // Index of the item whose key holds the same bytes; -1 when none.
    int IndexOfKey(const QByteArray& Key) const;
};

// Reads a protocol file into the three lists (appending). The file, in lines ending in LF or CR LF:
//
//   N                      the number of actions, then N lines   KIND NAME:VALUE
//   M                      the number of preset fields, then M   NAME:KIND:VALUE
//   BLOCK SENDS ANSWERS TIMEOUT   a step, up to the end of the file, followed by SENDS + 1 send
//                          part lines (none for a negative SENDS) and ANSWERS answer part lines,
//                          each   KIND TEXT
//
// Numbers are decimal, separated by blanks or line ends; after the KIND of an action or a part
// one separator character is dropped and the rest of the line is the text. NAME stops at the
// first ":"; VALUE is the rest of the line and may hold ":". Values stay the file's bytes. Kinds
// of actions and preset fields are 0 to 255. Blank lines where a number is expected and at the
// end are passed over.
//
// Raises EInOutError when the file is missing or cannot be read, and EConvertError for anything
// else, naming the file, the line and column and what was expected there (a file that ends before
// its counts or inside a step included).
void LoadProtocolFile(const QString& FileName, TActionsList& Actions, TFieldsList& Fields,
                      TCommandsList& Commands);

} // namespace protocol
