// The protocol model's lists and the reader of the protocol file.
#include "protocolmodel.h"

#include <analysers/drvmain.h>
#include <platform/codepage.h>

#include <QFile>

#include <limits>

namespace protocol {

// ---- values

void TResult::SetData(const QByteArray& Bytes, quint8 NewKind)
{
    Data = Bytes;
    Kind = NewKind;
}

void TResult::AppendData(const QByteArray& Bytes)
{
    Data.append(Bytes);
}

void TResult::ClearData()
{
    Data.clear();
}

QString TResult::AsString() const
{
    return codepage::fromAnsi(Data);
}

void TResult::ExpandTags()
{
    TagTextToBytes(Data);
}

// ---- fields

int TFieldsList::IndexOf(const QByteArray& Name) const
{
    for (int i = 0; i < Count(); ++i)
        if (m_items[size_t(i)].Name == Name)
            return i;
    return -1;
}

int TFieldsList::LastIndexOf(const QByteArray& Name) const
{
    for (int i = Count() - 1; i >= 0; --i)
        if (m_items[size_t(i)].Name == Name)
            return i;
    return -1;
}

TFldInfo* TFieldsList::Find(const QByteArray& Name)
{
    const int i = IndexOf(Name);
    return i < 0 ? nullptr : &m_items[size_t(i)];
}

const TFldInfo* TFieldsList::Find(const QByteArray& Name) const
{
    const int i = IndexOf(Name);
    return i < 0 ? nullptr : &m_items[size_t(i)];
}

void TFieldsList::AddValue(const QByteArray& Name, const QByteArray& Bytes, quint8 Kind)
{
    if (TFldInfo* field = Find(Name)) {
        field->Values.Add(TResult{Kind, Bytes});
        return;
    }
    TFldInfo field{Name, true, {}};
    field.Values.Add(TResult{Kind, Bytes});
    Add(std::move(field));
}

void TFieldsList::SetValue(const QByteArray& Name, const QByteArray& Bytes, bool Persistent)
{
    for (TFldInfo& field : m_items) {
        if (field.Name != Name || field.Persistent != Persistent)
            continue;
        if (Persistent)
            field.Values.GetItem(0).SetData(Bytes, 0);
        else
            field.Values.Add(TResult{0, Bytes});
        return;
    }
    TFldInfo field{Name, Persistent, {}};
    field.Values.Add(TResult{0, Bytes});
    Add(std::move(field));
}

void TFieldsList::MergeField(const TFldInfo& Field)
{
    if (Field.Values.IsEmpty())
        return;
    TFldInfo* found = Find(Field.Name);
    if (!found) {
        Add(Field);
    } else if (found->Persistent) {
        found->Values.GetItem(0) = Field.Values.GetItem(0);
    } else {
        for (const TResult& value : Field.Values)
            found->Values.Add(value);
    }
}

bool TFieldsList::DeleteValue(int FieldIndex, int ValueIndex)
{
    TFldInfo& field = GetItem(FieldIndex);
    field.Values.Delete(ValueIndex);
    if (!field.Values.IsEmpty())
        return false;
    Delete(FieldIndex);
    return true;
}

void TFieldsList::RemoveTransient()
{
    std::erase_if(m_items, [](const TFldInfo& f) { return !f.Persistent; });
}

// ---- actions

TAction* TActionsList::Find(const QByteArray& Name)
{
    for (TAction& action : m_items)
        if (action.Name == Name)
            return &action;
    return nullptr;
}

void TActionsList::AddValue(const QByteArray& Name, quint8 Kind, const QByteArray& Text)
{
    TAction* action = Find(Name);
    if (!action)
        action = &Add(TAction{Name, {}});
    action->Values.Add(TResult{Kind, Text});
}

// ---- collected items

void TInformation::MergeFields(const TFieldsList& List)
{
    for (const TFldInfo& field : List)
        Fields.MergeField(field);
}

void TInformation::AddMessage(const QByteArray& Bytes)
{
    if (!Bytes.isEmpty())
        Messages.Add(TResult{0, Bytes});
}

TInformation& TInformationList::AddKey(const TResult& Value)
{
    TInformation item;
    item.Key = Value;
    return Add(std::move(item));
}

int TInformationList::IndexOfKey(const QByteArray& Key) const
{
    for (int i = 0; i < Count(); ++i)
        if (SameBytes(m_items[size_t(i)].Key.Data, Key))
            return i;
    return -1;
}

// ---- the protocol file

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Reads the file as the text reading of its authors' runtime does: numbers are blank-separated and
// may stand on further lines, a string is the rest of the current line, and each record ends with
// its line. Positions are kept for the messages.
class ProtocolReader
{
public:
    explicit ProtocolReader(const QString& fileName) : m_fileName(fileName)
    {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            throw EInOutError(QStringLiteral("Protocol file \"%1\" cannot be read: %2")
                                  .arg(fileName, file.errorString()));
        QByteArray all = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw EInOutError(QStringLiteral("Protocol file \"%1\" cannot be read: %2")
                                  .arg(fileName, file.errorString()));
        if (all.endsWith('\n'))
            all.chop(1);
        if (!all.isEmpty() || file.size() > 0)
            m_lines = all.split('\n');
        for (QByteArray& line : m_lines)
            if (line.endsWith('\r'))
                line.chop(1);
    }

    // True when nothing but blanks and empty lines is left.
    bool atEnd()
    {
        skipSpace();
        return m_line >= m_lines.size();
    }

    // A decimal integer, after blanks and line ends; the position stays right after its digits.
    qint64 readInteger(const QString& what, qint64 low = std::numeric_limits<qint32>::min(),
                       qint64 high = std::numeric_limits<qint32>::max())
    {
        skipSpace();
        if (m_line >= m_lines.size())
            fail(what, QStringLiteral("the end of the file"));
        const QByteArray& line = m_lines[m_line];
        qsizetype end = m_col;
        while (end < line.size() && !isBlank(line[end]))
            ++end;
        const QByteArray token = line.mid(m_col, end - m_col);
        bool ok = false;
        const qint64 value = parseDecimal(token, &ok);
        if (!ok || value < low || value > high)
            fail(what, quoted(token));
        m_col = end;
        return value;
    }

    // The rest of the current line; the next read starts on the next line. At the end of the file
    // it is empty.
    QByteArray readLine()
    {
        if (m_line >= m_lines.size()) {
            m_atEndOfFile = true;
            return {};
        }
        const QByteArray rest = m_lines[m_line].mid(m_col);
        nextLine();
        return rest;
    }

    // Drops the rest of the current line.
    void nextLine()
    {
        if (m_line < m_lines.size())
            ++m_line;
        m_col = 0;
    }

    // Whether the last readLine met the end of the file.
    bool metEnd() const { return m_atEndOfFile; }

    // The position of the next read, for messages: 1-based line and column.
    int line() const { return int(m_line) + 1; }
    int column() const { return int(m_col) + 1; }

    [[noreturn]] void fail(const QString& what, const QString& found) const
    {
        failAt(line(), column(), what, found);
    }
    [[noreturn]] void failAt(int line, int column, const QString& what, const QString& found) const
    {
        throw EConvertError(QStringLiteral("Protocol file \"%1\", line %2, column %3: expected %4, "
                                           "found %5")
                                .arg(m_fileName)
                                .arg(line)
                                .arg(column)
                                .arg(what, found));
    }

    static QString quoted(const QByteArray& text)
    {
        return QLatin1Char('"') + codepage::fromAnsi(text) + QLatin1Char('"');
    }

    // An optional sign and decimal digits, nothing else.
    static qint64 parseDecimal(const QByteArray& text, bool* ok)
    {
        *ok = false;
        qsizetype i = 0;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            negative = text[i++] == '-';
        if (i == text.size() || text.size() - i > 12)
            return 0;
        qint64 value = 0;
        for (; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9')
                return 0;
            value = value * 10 + (text[i] - '0');
        }
        *ok = true;
        return negative ? -value : value;
    }

private:
    void skipSpace()
    {
        while (m_line < m_lines.size()) {
            const QByteArray& line = m_lines[m_line];
            while (m_col < line.size() && isBlank(line[m_col]))
                ++m_col;
            if (m_col < line.size())
                return;
            nextLine();
        }
    }

    QString m_fileName;
    QList<QByteArray> m_lines;
    qsizetype m_line = 0;
    qsizetype m_col = 0;
    bool m_atEndOfFile = false;
};

// "KIND TEXT" after its kind: one separator character goes, the rest of the line is the text.
QByteArray textAfterKind(ProtocolReader& reader)
{
    QByteArray rest = reader.readLine();
    rest.remove(0, 1);
    return rest;
}

void readActions(ProtocolReader& reader, TActionsList& actions)
{
    const qint64 count = reader.readInteger(QStringLiteral("the number of actions"), 0);
    reader.nextLine();
    for (qint64 i = 1; i <= count; ++i) {
        const QString what = QStringLiteral("action %1 of %2").arg(i).arg(count);
        const auto kind =
            quint8(reader.readInteger(what + QStringLiteral(": its kind (0 to 255)"), 0, 255));
        const int line = reader.line();
        const int column = reader.column();
        const QByteArray text = textAfterKind(reader);
        const qsizetype colon = text.indexOf(':');
        if (colon < 0)
            reader.failAt(line, column + 1, what + QStringLiteral(": NAME:VALUE after its kind"),
                          ProtocolReader::quoted(text));
        actions.AddValue(text.left(colon), kind, text.mid(colon + 1));
    }
}

void readPresetFields(ProtocolReader& reader, TFieldsList& fields)
{
    const qint64 count = reader.readInteger(QStringLiteral("the number of preset fields"), 0);
    reader.nextLine();
    for (qint64 i = 1; i <= count; ++i) {
        const int line = reader.line();
        const QByteArray text = reader.readLine();
        const QString what = QStringLiteral("preset field %1 of %2").arg(i).arg(count);
        if (reader.metEnd())
            reader.failAt(line, 1, what, QStringLiteral("the end of the file"));
        const qsizetype first = text.indexOf(':');
        const qsizetype second = first < 0 ? -1 : text.indexOf(':', first + 1);
        if (second < 0)
            reader.failAt(line, 1, what + QStringLiteral(" as NAME:KIND:VALUE"),
                          ProtocolReader::quoted(text));
        const QByteArray kindText = text.mid(first + 1, second - first - 1).trimmed();
        bool ok = false;
        const qint64 kind = ProtocolReader::parseDecimal(kindText, &ok);
        if (!ok || kind < 0 || kind > 255)
            reader.failAt(line, int(first) + 2, what + QStringLiteral(": its kind (0 to 255)"),
                          ProtocolReader::quoted(kindText));
        fields.AddValue(text.left(first), text.mid(second + 1), quint8(kind));
    }
}

void readParts(ProtocolReader& reader, TCommandPartList& parts, qint64 count, const char* list,
               int stepLine)
{
    for (qint64 i = 1; i <= count; ++i) {
        const QString what = QStringLiteral("%1 part %2 of %3 of the step of line %4")
                                 .arg(QLatin1String(list))
                                 .arg(i)
                                 .arg(count)
                                 .arg(stepLine);
        TCommandPart part;
        part.Kind = qint32(reader.readInteger(what));
        part.Text = textAfterKind(reader);
        parts.Add(std::move(part));
    }
}

void readCommands(ProtocolReader& reader, TCommandsList& commands)
{
    while (!reader.atEnd()) {
        const int line = reader.line();
        const qint32 block = qint32(reader.readInteger(QStringLiteral("the block of a step")));
        const QString of = QStringLiteral(" of the step of line %1").arg(line);
        const qint64 sends = reader.readInteger(QStringLiteral("the number of send parts") + of);
        const qint64 answers =
            reader.readInteger(QStringLiteral("the number of answer parts") + of);
        const qint32 timeout = qint32(reader.readInteger(QStringLiteral("the time-out") + of));
        reader.nextLine();
        TCommand command(block);
        command.Timeout = timeout;
        // The first send line is the control part, which the count leaves out.
        if (sends >= 0)
            readParts(reader, command.SendParts, sends + 1, "send", line);
        if (answers > 0)
            readParts(reader, command.AnswerParts, answers, "answer", line);
        commands.Add(std::move(command));
    }
}

} // namespace

void LoadProtocolFile(const QString& FileName, TActionsList& Actions, TFieldsList& Fields,
                      TCommandsList& Commands)
{
    ProtocolReader reader(FileName);
    readActions(reader, Actions);
    readPresetFields(reader, Fields);
    readCommands(reader, Commands);
}

} // namespace protocol
