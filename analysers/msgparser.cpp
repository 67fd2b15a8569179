// The table-driven message parser: cutting a message into fields by the layout rows, and building
// the bytes of a protocol step from its parts.
#include "msgparser.h"

#include <platform/codepage.h>

#include <QScopeGuard>

#include <algorithm>

using protocol::TCommand;
using protocol::TCommandPart;
using protocol::TCommandPartList;
using protocol::TResult;
using protocol::TResultList;

namespace {

// The bytes of a delimiter or separator written with control-character names.
QByteArray tagBytes(const QByteArray& text)
{
    QByteArray bytes = text;
    TagTextToBytes(bytes);
    return bytes;
}

int tagLength(const QByteArray& text)
{
    return int(tagBytes(text).size());
}

// The Length bytes at Offset when they lie wholly inside the message.
bool sliceOf(QByteArrayView message, qint64 offset, qint64 length, QByteArray& out)
{
    if (offset < 0 || length < 0 || offset + length > message.size())
        return false;
    out = message.sliced(offset, length).toByteArray();
    return true;
}

// Whether the ";"-separated list holds the value as one of its items.
bool selectorHolds(const QByteArray& selector, const QByteArray& value)
{
    qsizetype start = 0;
    while (start <= selector.size()) {
        qsizetype end = selector.indexOf(';', start);
        if (end < 0)
            end = selector.size();
        if (QByteArrayView(selector).sliced(start, end - start) == value)
            return true;
        start = end + 1;
    }
    return false;
}

// A counter's number, as the runtime's integer conversion reads it.
qint32 counterValue(const QByteArray& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        throw EConvertError(
            QStringLiteral("'%1' is not a valid integer value").arg(codepage::fromAnsi(text)));
    return value;
}

const QByteArray GroupSelector = QByteArrayLiteral("fldSep");

} // namespace

TParser::TParser(QString FileName, std::vector<TMsgFldInfo> MsgFields,
                 std::vector<TRepFldInfo> RepFields)
    : m_fileName(std::move(FileName)), m_msgFields(std::move(MsgFields)),
      m_repFields(std::move(RepFields))
{
}

TParser::~TParser() = default;

void TParser::Create()
{
    TDriver::Create();
    LoadProtocolFile(m_fileName, Actions, Fields, Commands);
}

void TParser::ClearMessageFields()
{
    Fields.RemoveTransient();
}

void TParser::ParseMessage(const char* Data, int Size)
{
    if (!Data)
        return;
    ClearMessageFields();
    ParseBlock(Data, qMax(Size, 0), 0);
}

void TParser::ParseBlock(const char* Data, int Size, int First)
{
    const int count = int(m_msgFields.size());
    if (!Data || First < 0 || First >= count)
        return;
    m_parsing.push_back(First);
    const auto done = qScopeGuard([this] { m_parsing.pop_back(); });
    for (int i = First; i < count; ++i) {
        if (i > First && !m_msgFields[size_t(i)].Selector.isEmpty())
            break;
        ParseRow(Data, Size, i);
    }
}

void TParser::ParseRow(const char* Data, int Size, int Index)
{
    const QByteArrayView message(Data, Size);
    const TMsgFldInfo& row = m_msgFields[size_t(Index)];
    switch (row.Kind) {
    case 0:
        return;
    case 1:
    case 2: {
        QByteArray value;
        if (sliceOf(message, row.Offset, row.Length, value))
            Fields.SetValue(row.Name, value, row.Kind == 2);
        return;
    }
    case 3:
    case 4:
        ParseDelimited(message, Index);
        return;
    case 5:
        ParseSwitch(Data, Size, Index);
        return;
    case 6:
        ParseGroup(Data, Size, Index);
        return;
    default:
        ParseTranslated(message, Index);
        return;
    }
}

void TParser::ParseDelimited(QByteArrayView Message, int Index)
{
    TMsgFldInfo& row = m_msgFields[size_t(Index)];
    if (row.Offset >= 0 && row.Offset <= Message.size()) {
        const qsizetype end = Message.indexOf(tagBytes(row.RefField), row.Offset);
        if (end >= 0) {
            row.Length = int(end - row.Offset);
            Fields.SetValue(row.Name, Message.sliced(row.Offset, row.Length).toByteArray(),
                            row.Kind == 4);
        } else {
            // Without its delimiter the field runs to the end and stores nothing, and so do the
            // rows placed behind it.
            row.Length = int(Message.size() - row.Offset);
        }
    }
    PlaceRowsAfter(Index);
}

void TParser::PlaceRowsAfter(int Index)
{
    for (size_t j = size_t(Index) + 1; j < m_msgFields.size(); ++j) {
        TMsgFldInfo& row = m_msgFields[j];
        const TMsgFldInfo& previous = m_msgFields[j - 1];
        if (row.Kind < 0 || row.Kind > 6)
            break;
        if (previous.Kind == 6) {
            row.Offset = previous.Offset + tagLength(previous.RefField);
        } else if (row.Kind == 5) {
            row.Offset = previous.Offset;
            row.Length = previous.Length;
        } else if (row.Selector.isEmpty()) {
            row.Offset = previous.Offset + previous.Length + tagLength(previous.RefField);
        }
        if (row.Kind == 3 || row.Kind == 4 || !row.Selector.isEmpty())
            break;
    }
}

int TParser::FindSelected(const QByteArray& Value, int Switch) const
{
    const int count = int(m_msgFields.size());
    for (int k = 1; k < count; ++k) {
        const int j = (Switch + k) % count;
        if (selectorHolds(m_msgFields[size_t(j)].Selector, Value))
            return j;
    }
    return -1;
}

void TParser::ParseSwitch(const char* Data, int Size, int Index)
{
    const TMsgFldInfo& row = m_msgFields[size_t(Index)];
    QByteArray value;
    if (!row.RefField.isEmpty()) {
        const protocol::TFldInfo* field = Fields.Find(row.RefField);
        if (!field)
            return;
        value = field->Values.GetItem(field->Values.Count() - 1).Data;
    } else if (!sliceOf(QByteArrayView(Data, Size), row.Offset, row.Length, value)) {
        return;
    }
    if (value.isEmpty())
        return;
    const int selected = FindSelected(value, Index);
    if (selected < 0 || std::find(m_parsing.begin(), m_parsing.end(), selected) != m_parsing.end())
        return;
    if (Index >= 2) {
        const TMsgFldInfo& previous = m_msgFields[size_t(Index) - 1];
        if (previous.Kind == 3 || previous.Kind == 4)
            m_msgFields[size_t(selected)].Offset =
                row.Offset + row.Length + tagLength(previous.RefField);
    }
    ParseBlock(Data, Size, selected);
}

void TParser::ParseGroup(const char* Data, int Size, int Index)
{
    TMsgFldInfo& end = m_msgFields[size_t(Index)];
    const int first = Index - end.Length;
    // A group of no rows would be its own end, and a group end already repeating is not
    // entered again.
    if (end.Length < 1 || first < 0 || end.Selector == GroupSelector)
        return;
    const QByteArray separator = tagBytes(end.RefField);
    const QByteArray groupSelector = m_msgFields[size_t(first)].Selector;
    std::vector<size_t> moving;
    for (size_t j = 0; j < m_msgFields.size(); ++j) {
        if ((j >= size_t(first) && j <= size_t(Index)) ||
            (!groupSelector.isEmpty() && m_msgFields[j].Depends.contains(groupSelector)))
            moving.push_back(j);
    }
    const QByteArray savedSelector = end.Selector;
    end.Selector = GroupSelector;
    const QByteArrayView message(Data, Size);
    qint64 total = 0;
    for (;;) {
        const TMsgFldInfo& e = m_msgFields[size_t(Index)];
        if (e.Offset >= 0 && e.Offset + separator.size() <= message.size() &&
            message.sliced(e.Offset, separator.size()) == separator)
            break;
        const qint64 step =
            qint64(e.Offset) - m_msgFields[size_t(first)].Offset + groupSelector.size();
        // The next repetition would start at or past the end of the message, or not move on.
        if (step <= 0 || m_msgFields[size_t(first)].Offset + step >= message.size())
            break;
        for (const size_t j : moving)
            m_msgFields[j].Offset += int(step);
        total += step;
        ParseBlock(Data, Size, first);
    }
    PlaceRowsAfter(Index);
    m_msgFields[size_t(Index)].Selector = savedSelector;
    for (const size_t j : moving)
        m_msgFields[j].Offset -= int(total);
}

void TParser::ParseTranslated(QByteArrayView Message, int Index)
{
    const TMsgFldInfo& row = m_msgFields[size_t(Index)];
    QByteArray value;
    if (!row.RefField.isEmpty()) {
        const int field = Fields.LastIndexOf(row.RefField);
        if (field < 0)
            return;
        const TResultList& values = Fields.GetItem(field).Values;
        value = values.GetItem(values.Count() - 1).Data;
    } else if (!sliceOf(Message, row.Offset, row.Length, value)) {
        return;
    }
    const QString text = BytesToTagText(value);
    for (const TRepFldInfo& code : m_repFields) {
        if (code.Kind == row.Kind && codepage::fromAnsi(code.Code) == text) {
            Fields.SetValue(code.FieldName, code.Text, false);
            return;
        }
    }
}

void TParser::AdvanceCounters()
{
    for (protocol::TFldInfo& field : Fields) {
        for (TResult& value : field.Values) {
            if (value.Kind == 1)
                value.Data = QByteArray::number((qint64(counterValue(value.Data)) + 1) % 2);
            else if (value.Kind == 2)
                value.Data = QByteArray::number(qint32(quint32(counterValue(value.Data)) + 1u));
        }
    }
}

QByteArray TParser::BuildParts(const TCommandPartList& Parts)
{
    QByteArray bytes;
    int open = -1;        // the opening marker of the group, -1 when none is open
    bool pending = false; // a field consumed in the group still has values
    for (int i = 1; i < Parts.Count(); ++i) {
        int at = i;
        qint32 kind = Parts.GetItem(i).Kind;
        if (kind == 2 || kind == 3) {
            if (open < 0) {
                open = i;
                pending = false;
            } else if (pending) {
                at = i = open;
                open = -1;
            } else {
                open = -1;
            }
            kind = Parts.GetItem(at).Kind == 2 ? 0 : 1;
        }
        const TCommandPart& part = Parts.GetItem(at);
        if (kind == 0) {
            bytes += part.Text;
        } else if (kind == 1) {
            const int field = Fields.IndexOf(part.Text);
            if (field < 0)
                continue;
            bytes += Fields.GetItem(field).Values.GetItem(0).Data;
            if (!Fields.DeleteValue(field, 0))
                pending = true;
        }
    }
    return bytes;
}

void TParser::BuildCommand(int Index)
{
    TCommand& command = Commands.GetItem(Index);
    command.SendData.ClearData();
    command.ExpectedData.ClearData();
    AdvanceCounters();
    if (!command.SendParts.IsEmpty()) {
        TCommandPart& control = command.SendParts.GetItem(0);
        if (control.Kind == 0)
            control.Kind = control.Counter;
    }
    const auto build = [this](const TCommandPartList& parts, TResult& into) {
        into.AppendData(BuildParts(parts));
        into.ExpandTags();
        if (parts.Count() >= 3)
            AppendChecksum(into);
    };
    build(command.SendParts, command.SendData);
    build(command.AnswerParts, command.ExpectedData);
}

bool TParser::SameResult(const TResult& A, const TResult& B)
{
    return SameBytes(A.Data, B.Data);
}
