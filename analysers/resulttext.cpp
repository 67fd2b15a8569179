// The text routines of the result-file decoders: the text-file reader, trimming, comma texts
// and the number tests.
#include "resulttext.h"

#include <platform/codepage.h>
#include <platform/files.h>

#include <algorithm>

namespace {

bool isBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isNumberChar(char c)
{
    return isDigit(c) || c == ',' || c == '.';
}

} // namespace

QList<QByteArray> ReadTextFileLines(const QString& FileName)
{
    return TextLines(files::readWholeFile(FileName));
}

QList<QByteArray> TextLines(const QByteArray& Bytes)
{
    QList<QByteArray> lines;
    qsizetype at = 0;
    while (at < Bytes.size()) {
        qsizetype end = at;
        while (end < Bytes.size() && Bytes.at(end) != '\r' && Bytes.at(end) != '\n')
            ++end;
        lines.append(Bytes.mid(at, std::min<qsizetype>(end - at, MaxTextLine)));
        at = end + 1;
        if (end < Bytes.size() && Bytes.at(end) == '\r' && at < Bytes.size() &&
            Bytes.at(at) == '\n')
            ++at;
    }
    return lines;
}

QList<QByteArray> LinesAtCR(const QByteArray& Bytes, int MaxLength)
{
    QList<QByteArray> lines;
    QByteArray line;
    bool open = false; // a line has begun since the last CR
    for (const char c : Bytes) {
        if (c == '\r') {
            lines.append(line);
            line.clear();
            open = false;
        } else if (c != '\n') {
            if (MaxLength <= 0 || line.size() < MaxLength)
                line.append(c);
            open = true;
        }
    }
    if (open)
        lines.append(line);
    return lines;
}

QByteArray TrimBytes(const QByteArray& Text)
{
    return TrimRightBytes(TrimLeftBytes(Text));
}

QByteArray TrimLeftBytes(const QByteArray& Text)
{
    qsizetype from = 0;
    while (from < Text.size() && isBlank(Text.at(from)))
        ++from;
    return Text.mid(from);
}

QByteArray TrimRightBytes(const QByteArray& Text)
{
    qsizetype to = Text.size();
    while (to > 0 && isBlank(Text.at(to - 1)))
        --to;
    return Text.left(to);
}

QByteArray TrimLeftChar(const QByteArray& Text, char C)
{
    qsizetype from = 0;
    while (from < Text.size() && Text.at(from) == C)
        ++from;
    return Text.mid(from);
}

QByteArray LeadingNumber(const QByteArray& Text)
{
    qsizetype n = 0;
    while (n < Text.size() && isNumberChar(Text.at(n)))
        ++n;
    return Text.left(n);
}

bool IsNumberText(const QByteArray& Text)
{
    return !Text.isEmpty() && std::all_of(Text.begin(), Text.end(), isNumberChar);
}

QList<QByteArray> CommaTextItems(const QByteArray& Text)
{
    QList<QByteArray> items;
    const qsizetype size = Text.size();
    qsizetype at = 0;
    const auto skipBlanks = [&] {
        while (at < size && isBlank(Text.at(at)))
            ++at;
    };
    skipBlanks();
    while (at < size) {
        QByteArray item;
        if (Text.at(at) == '"') {
            ++at;
            while (at < size) {
                if (Text.at(at) == '"') {
                    if (at + 1 < size && Text.at(at + 1) == '"') {
                        item.append('"');
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                item.append(Text.at(at++));
            }
        } else {
            const qsizetype from = at;
            while (at < size && !isBlank(Text.at(at)) && Text.at(at) != ',')
                ++at;
            item = Text.mid(from, at - from);
        }
        items.append(item);
        skipBlanks();
        if (at < size && Text.at(at) == ',') {
            ++at;
            skipBlanks();
        }
    }
    return items;
}

QByteArray MidBytes(const QByteArray& Text, qsizetype Pos, qsizetype Count)
{
    Pos = std::max<qsizetype>(Pos, 1);
    if (Pos > Text.size() || Count == 0)
        return {};
    return Count < 0 ? Text.mid(Pos - 1) : Text.mid(Pos - 1, Count);
}

QString AnsiText(const QByteArray& Bytes)
{
    return codepage::fromAnsi(Bytes);
}

void ClearDecoderLists(QStringList& Header, QStringList& Results, QStringList* Legend)
{
    Header.clear();
    Results.clear();
    if (Legend)
        Legend->clear();
}

void AddLegend(QStringList* Legend, const TMDevDataRow& Row)
{
    if (Legend)
        Legend->append(Row.CODE.toString() + u'=' + Row.NAME.toString());
}
