// The decoders of line-oriented analyser output: URILUX, Trombotimer, Aution MINI, RFT, ABX /
// Advia 60, StaRRsed, Hitachi 911 and 912.
#include "resultdecoders.h"

#include "devcatalogue.h"
#include "resulttext.h"

#include <platform/codepage.h>
#include <platform/exception.h>
#include <platform/files.h>
#include <platform/regional.h>

#include <algorithm>
#include <span>

namespace {

QString item(const char* name, const QByteArray& value)
{
    return QLatin1String(name) + u'=' + AnsiText(value);
}

// The text before the first blank; all of it when it has none.
QByteArray firstWord(const QByteArray& text)
{
    const qsizetype blank = text.indexOf(' ');
    return blank < 0 ? text : text.left(blank);
}

[[noreturn]] void indexError(qsizetype index, int line, const QString& fileName)
{
    throw EStringListError(QStringLiteral("List index out of bounds (%1): line %2 of \"%3\" has "
                                          "too few items")
                               .arg(index)
                               .arg(line)
                               .arg(fileName));
}

// ---- URILUX

struct TemplateItem
{
    QString name;
    int line = 0; // 0: none given
    int column = 1;
    int length = -1; // to the end of the line
    QByteArray label;
    qsizetype valueLength = 0; // bytes of the whole value, position and label
};

int numberOr(const QString& text, int otherwise)
{
    int n = 0;
    return TryStrToInt(text.trimmed(), n) ? n : otherwise;
}

TemplateItem templateItem(const QString& line)
{
    TemplateItem t;
    const qsizetype eq = line.indexOf(u'=');
    t.name = eq < 0 ? line : line.left(eq);
    const QString value = eq < 0 ? QString() : line.mid(eq + 1);
    t.valueLength = codepage::toAnsi(value).size();
    const QStringList parts = value.split(u';');
    t.label = codepage::toAnsi(parts.value(1).trimmed());
    const QStringList position = parts.value(0).trimmed().split(u',');
    t.line = numberOr(position.value(0), 0);
    t.column = numberOr(position.value(1), 1);
    t.length = position.size() > 2 ? numberOr(position.value(2), -1) : -1;
    return t;
}

} // namespace

void ViewUriluxFile(const QString& FileName, QStringList& Header, QStringList& Results,
                    QStringList* Legend, const QStringList& Template, int Device, int ResultColumn)
{
    Header.clear();
    Results.clear();
    QList<TemplateItem> items;
    for (const QString& line : Template)
        items.append(templateItem(line));

    const QList<QByteArray> lines = LinesAtCR(files::readWholeFile(FileName), MaxTextLine);
    bool headerPhase = true;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int number = int(i + 1);
        QByteArray line = TrimRightBytes(lines.at(i));
        if (headerPhase) {
            for (const TemplateItem& t : items) {
                if (t.line != 0) {
                    if (t.line == number)
                        Header.append(t.name + u'=' + AnsiText(MidBytes(line, t.column, t.length)));
                    continue;
                }
                const qsizetype at = t.label.isEmpty() ? -1 : line.indexOf(t.label);
                if (at < 0)
                    continue;
                line = TrimBytes(line.remove(at, t.valueLength));
                if (!line.isEmpty())
                    Header.append(t.name + u'=' + AnsiText(line));
                break;
            }
        }
        const QByteArray rest = MidBytes(line, ResultColumn);
        if (rest.isEmpty())
            continue;
        const QByteArray code = firstWord(rest);
        const TMDevDataRow* row = FindMDevDataCode(Device, AnsiText(code));
        if (!row)
            continue;
        const QByteArray value = TrimBytes(firstWord(TrimLeftBytes(rest.mid(code.size()))));
        if (!value.isEmpty()) {
            QString result = row->CODE.toString() + u'=' + AnsiText(value);
            if (IsNumberText(value) && !row->DIM_STR.isEmpty())
                result += u'\t' + row->DIM_STR.toString();
            Results.append(result);
        }
        AddLegend(Legend, *row);
        headerPhase = false;
    }
}

bool ViewTrombotimerFile(const QString& FileName, QStringList& Header, QStringList& Results,
                         QStringList* Legend)
{
    struct Label
    {
        const char* text;
        int number;
    };
    static constexpr Label channel1[] = {{"Time", 1}, {"INR", 3}};
    static constexpr Label channel2[] = {{"Time", 2}, {"INR", 4}};
    static constexpr Label both[] = {{"Time 1", 5}, {"Time 2", 6}, {"Average", 7}};
    std::span<const Label> labels; // the current channel's; none before one is selected

    bool channelSeen = false;
    for (const QByteArray& raw : ReadTextFileLines(FileName)) {
        const QByteArray line = TrimBytes(raw);
        const qsizetype blank = line.lastIndexOf(' ');
        if (blank < 0)
            continue;
        const QByteArray value = line.mid(blank + 1);
        const QByteArray name = TrimBytes(line.left(blank));
        if (name.startsWith("Channel")) {
            if (name.contains("1+2")) {
                labels = both;
            } else {
                if (name.contains('1'))
                    labels = channel1;
                if (name.contains('2'))
                    labels = channel2;
            }
            channelSeen = true;
            continue;
        }
        if (!channelSeen) {
            if (name == "Date")
                Header.append(item("Date", value));
            else if (name == "Result")
                Header.append(item("SeqNo", value));
            continue;
        }
        for (const Label& label : labels) {
            if (!name.startsWith(label.text))
                continue;
            if (const TMDevDataRow* row = FindMDevData(mdTrombotimer, label.number)) {
                QString result = row->CODE.toString() + u'=' + AnsiText(LeadingNumber(value));
                if (!row->DIM_STR.isEmpty())
                    result += u'\t' + row->DIM_STR.toString();
                Results.append(result);
                if (!row->NAME.isEmpty())
                    AddLegend(Legend, *row);
            }
            break;
        }
    }
    return channelSeen;
}

void ViewAutionMiniFile(const QString& FileName, QStringList& Header, QStringList& Results,
                        QStringList* Legend)
{
    const QList<QByteArray> lines = ReadTextFileLines(FileName);
    if (lines.isEmpty())
        return;
    for (const QByteArray& it : CommaTextItems(lines.first())) {
        const char first = it.isEmpty() ? '\0' : it.front();
        if (first == 'D') {
            Header.append(item("Date", it.mid(1)));
        } else if (first == 'N') {
            const QByteArray rest = it.mid(1);
            Header.append(item("Code", rest.size() == 5 ? TrimLeftChar(rest.right(4), '0') : rest));
        } else if (first == 'T') {
            if (codepage::upperBytes(it.left(4)) == "TEMP")
                Header.append(item("Temp", it.mid(4)));
            else
                Header.append(item("Time", it.mid(1)));
        } else {
            Header.append(item("TestStrip", it));
        }
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> items = CommaTextItems(lines.at(i));
        if (items.isEmpty())
            continue;
        const TMDevDataRow* row = FindMDevDataCode(mdAutionMini, AnsiText(items.at(0)));
        if (!row || !row->VISIBLE)
            continue;
        if (items.size() < 3)
            indexError(items.size(), int(i + 1), FileName);
        const QByteArray& qualitative = items.at(1);
        QString value;
        if (!TrimBytes(items.at(2)).isEmpty()) {
            value = AnsiText(items.at(2));
            if (!qualitative.isEmpty())
                value += QStringLiteral(" (") + AnsiText(qualitative) + u')';
            value += u'\t' + row->DIM_STR.toString();
            if (items.size() == 5 && items.at(4) == "H")
                value += QStringLiteral("\tпревышение нормы");
        } else if (qualitative == "-") {
            value = QStringLiteral("ОТРИЦ.");
        } else if (qualitative == "+-") {
            value = QStringLiteral("следы");
        } else if (qualitative == "NEG.") {
            value = QStringLiteral("единичн.");
        } else if (qualitative == "NORMAL") {
            value = QStringLiteral("НОРМА");
        } else {
            value = AnsiText(qualitative);
        }
        Results.append(AnsiText(items.at(0)) + u'=' + value);
        AddLegend(Legend, *row);
    }
}

namespace {

// The punctuation that ends an RFT code: the printable ASCII characters up to "_" that are
// neither letters nor digits, the blank included.
bool endsRftCode(char c)
{
    return (c >= 32 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 95);
}

} // namespace

void ViewRftFile(const QString& FileName, QStringList& Header, QStringList& Results,
                 QStringList* Legend)
{
    ClearDecoderLists(Header, Results, Legend);
    const QList<QByteArray> lines = ReadTextFileLines(FileName);
    const auto line = [&lines](int n) { return lines.value(n - 1); };

    const QList<QByteArray> when = CommaTextItems(line(2));
    if (when.size() < 2)
        indexError(when.size(), 2, FileName);
    Header.append(item("Date", when.at(0)));
    Header.append(item("Time", when.at(1)));
    Header.append(item("Code", line(3)));

    const QByteArray result = line(4);
    const auto end = std::find_if(result.begin(), result.end(), endsRftCode);
    if (end == result.begin() || end == result.end())
        return;
    const qsizetype at = end - result.begin();
    const QByteArray code = result.left(at);
    const bool temperature = *end != ' ';
    // Without a temperature the value starts after the blank and one further character.
    QByteArray rest = TrimBytes(result.mid(temperature ? at + 1 : at + 2));
    QByteArray value, unit;
    if (const qsizetype blank = rest.indexOf(' '); blank >= 0) {
        value = rest.left(blank);
        rest = TrimBytes(rest.mid(blank + 1));
        if (!temperature) {
            unit = rest;
        } else if (const qsizetype next = rest.indexOf(' '); next < 0) {
            unit = rest;
        } else {
            unit = rest.left(next);
            if (const QByteArray temp = TrimBytes(rest.mid(next + 1)); !temp.isEmpty())
                Header.append(item("Temp", temp));
        }
    }
    QByteArray note = TrimBytes(line(5));
    if (const QByteArray more = TrimBytes(line(6)); !more.isEmpty())
        note += '\t' + more;

    const QString codeText = AnsiText(code);
    Results.append(codeText + u'=' + AnsiText(value) + u'\t' + AnsiText(unit) + u'\t' +
                   AnsiText(note));
    if (const TMDevDataRow* row = FindMDevDataCode(mdRft, codeText))
        AddLegend(Legend, *row);
    else if (Legend)
        Legend->append(codeText + QStringLiteral("=???"));
}

namespace {

// Leading zeros removed for as long as the next character is there and is not ".": "00.50"
// gives "0.50", "0042" "42", "000" "0".
QByteArray abxWithoutLeadingZeros(const QByteArray& text)
{
    qsizetype from = 0;
    while (from + 1 < text.size() && text.at(from) == '0' && text.at(from + 1) != '.')
        ++from;
    return text.mid(from);
}

// The result tags and their codes.
constexpr std::pair<char, const char*> AbxResults[] = {
    {'!', "WBC"},   {'"', "LYC#"}, {'#', "LYC%"}, {'$', "MON#"}, {'%', "MON%"}, {'&', "GRA#"},
    {'\'', "GRA%"}, {'2', "RBC"},  {'3', "HGB"},  {'4', "HCT"},  {'5', "MCV"},  {'6', "MCH"},
    {'7', "MCHC"},  {'8', "RDW"},  {'@', "PLT"},  {'A', "MPV"},  {'B', "PCT"},  {'C', "PDW"},
};

const char* abxResultCode(char tag)
{
    for (const auto& [t, code] : AbxResults)
        if (t == tag)
            return code;
    return nullptr;
}

constexpr char AbxAnalyserType = char(0x80);

void abxDateAndTime(const QByteArray& data, QStringList& Header)
{
    int year = 0;
    if (TryStrToInt(AnsiText(MidBytes(data, 7, 2)), year))
        Header.append(QStringLiteral("Date=") + AnsiText(MidBytes(data, 1, 2)) + u'/' +
                      AnsiText(MidBytes(data, 4, 2)) + u'/' + QString::number(year + 2000));
    Header.append(QStringLiteral("Time=") + AnsiText(MidBytes(data, 10, 2)) + u':' +
                  AnsiText(MidBytes(data, 13, 2)) + u':' + AnsiText(MidBytes(data, 17, 2)));
}

QString abxFirstFlag(const QByteArray& c)
{
    if (c == "R")
        return QStringLiteral("Parameter rejected for a counting default");
    if (c == "S")
        return QStringLiteral("Suspicious parameter value");
    return {};
}

QString abxSecondFlag(const QByteArray& c)
{
    if (c == "O")
        return QStringLiteral("Значение вне допустимого диапазона");
    if (c == "h")
        return QStringLiteral("выше нормы");
    if (c == "l")
        return QStringLiteral("ниже нормы");
    return {};
}

} // namespace

void ViewAbxFile(const QString& FileName, QStringList& Header, QStringList& Results,
                 QStringList* Legend)
{
    ClearDecoderLists(Header, Results, Legend);
    const QList<QByteArray> lines = LinesAtCR(files::readWholeFile(FileName));
    for (qsizetype i = 1; i < lines.size() && !lines.at(i).isEmpty(); ++i) {
        const QByteArray& line = lines.at(i);
        const char tag = line.front();
        const QByteArray data = line.mid(tag == ']' || tag == '^' || tag == '_' ? 1 : 2);
        switch (tag) {
        case 'p':
            Header.append(item("AnNum", data));
            continue;
        case 's':
            Header.append(item("SeqNo", abxWithoutLeadingZeros(data)));
            continue;
        case 't':
            Header.append(item("SmplMode", data));
            continue;
        case 'u':
            Header.append(item("Code", abxWithoutLeadingZeros(data)));
            continue;
        case 'v':
            Header.append(item("Name", data));
            continue;
        case AbxAnalyserType:
            Header.append(item("AnType", data));
            continue;
        case 'q':
            abxDateAndTime(data, Header);
            continue;
        default:
            break;
        }
        const char* code = abxResultCode(tag);
        if (!code)
            continue;
        const TMDevDataRow* row = FindMDevDataCode(mdAbx, QString::fromLatin1(code));
        if (!row || !row->VISIBLE)
            continue;
        const QByteArray value = MidBytes(data, 1, 5);
        if (value == "--.--" || TrimBytes(value).isEmpty())
            continue;
        Results.append(row->CODE.toString() + u'=' + AnsiText(abxWithoutLeadingZeros(value)) +
                       u'\t' + row->DIM_STR.toString() + u'\t' +
                       abxFirstFlag(MidBytes(data, 6, 1)) + u'\t' +
                       abxSecondFlag(MidBytes(data, 7, 1)));
        AddLegend(Legend, *row);
    }
}

namespace {

// The word of a StaRRsed line that begins at position P (counted from 1): up to the next blank.
QByteArray wordFrom(const QByteArray& line, qsizetype p)
{
    return firstWord(MidBytes(line, p));
}

// The word that ends at position P: from after the nearest blank before it. Empty when P holds
// a blank or lies beyond the line.
QByteArray wordEndingAt(const QByteArray& line, qsizetype p)
{
    if (p < 1 || p > line.size() || line.at(p - 1) == ' ')
        return {};
    qsizetype from = p - 1;
    while (from > 0 && line.at(from - 1) != ' ')
        --from;
    return line.mid(from, p - from);
}

} // namespace

void ViewStarrsedFile(const QString& FileName, QStringList& Header, QStringList& Results,
                      QStringList* Legend)
{
    ClearDecoderLists(Header, Results, Legend);
    const QByteArray line = ReadTextFileLines(FileName).value(0);
    const auto add = [](QStringList& list, const char* name, const QByteArray& value) {
        if (!value.isEmpty())
            list.append(item(name, value));
    };
    add(Header, "Code", wordFrom(line, 1));
    add(Results, "Sedi", wordEndingAt(line, 15));
    add(Results, "Corr", wordEndingAt(line, 20));
    add(Results, "Aspect", TrimBytes(MidBytes(line, 22, 10)));
    add(Results, "Manual aspect", wordEndingAt(line, 34));
    add(Header, "CarPos", wordEndingAt(line, 36));
    add(Header, "Duration", wordEndingAt(line, 41));
    add(Header, "Temp", wordEndingAt(line, 46));
    add(Header, "SampleErr", TrimBytes(MidBytes(line, 48, 22)));
    add(Results, "EDTA", TrimBytes(MidBytes(line, 71)));
}

void ViewHitachiFile(const QString& FileName, QStringList& Header, QStringList& Results,
                     QStringList* Legend, int Device)
{
    ClearDecoderLists(Header, Results, Legend);
    for (const QByteArray& line : ReadTextFileLines(FileName)) {
        const qsizetype eq = line.indexOf('=');
        int number = 0;
        if (eq >= 0 && TryStrToInt(AnsiText(line.left(eq)), number) && number != 0) {
            if (const TMDevDataRow* row = FindMDevData(Device, number)) {
                Results.append(row->CODE.toString() + u'=' + AnsiText(line.mid(eq + 1)));
                AddLegend(Legend, *row);
            }
            continue;
        }
        Header.append(AnsiText(line));
    }
}

void ViewHitachi911File(const QString& FileName, QStringList& Header, QStringList& Results,
                        QStringList* Legend)
{
    ViewHitachiFile(FileName, Header, Results, Legend, mdHitachi911);
}

void ViewHitachi912File(const QString& FileName, QStringList& Header, QStringList& Results,
                        QStringList* Legend)
{
    ViewHitachiFile(FileName, Header, Results, Legend, mdHitachi912);
}
