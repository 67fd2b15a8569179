// The decoders of analyser results read by position: the AUTOLAB record, the Sysmex KX-21 line and
// the Advia 70 record. (The Max-M Coulter file, made of blocks, is in maxmfile.cpp.)
#include "resultdecoders.h"

#include "devcatalogue.h"
#include "resulttext.h"

#include <platform/exception.h>
#include <platform/files.h>
#include <platform/regional.h>

namespace {

QString item(const char* name, const QByteArray& value)
{
    return QLatin1String(name) + u'=' + AnsiText(value);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A decimal integer, an optional sign and digits, nothing else: the "$1F" and "0x1F" that the
// general conversion reads as hexadecimal are refused here.
int decimalInteger(const QByteArray& text, const QString& what)
{
    const qsizetype first = text.startsWith('-') || text.startsWith('+') ? 1 : 0;
    bool digits = text.size() > first;
    for (qsizetype i = first; digits && i < text.size(); ++i)
        digits = isDigit(text.at(i));
    int value = 0;
    if (!digits || !TryStrToInt(AnsiText(text), value))
        throw EConvertError(
            QStringLiteral("'%1' is not a valid integer value (%2)").arg(AnsiText(text), what));
    return value;
}

// ---- AUTOLAB

constexpr qsizetype AutolabHead = 39;
constexpr qsizetype AutolabRecord = 10;

// ---- Sysmex KX-21

constexpr qsizetype SysmexFirstField = 30; // position of parameter 1, counted from 1
constexpr qsizetype SysmexField = 5;

// Digits before the implied decimal point of a parameter's field.
qsizetype sysmexWholeDigits(int number)
{
    switch (number) {
    case 2: // RBC
        return 2;
    case 8: // PLT, no decimals
        return 4;
    default:
        return 3;
    }
}

QString sysmexFlag(char c)
{
    switch (c) {
    case '0':
        return QStringLiteral("норма");
    case '1':
        return QStringLiteral("выше нормы");
    case '2':
        return QStringLiteral("ниже нормы");
    case '3':
    case '4':
        return QStringLiteral("?");
    default:
        return {};
    }
}

// Two digits of the date; -1 when they are not both digits.
int twoDigits(const QByteArray& text)
{
    if (text.size() != 2 || !isDigit(text.at(0)) || !isDigit(text.at(1)))
        return -1;
    return (text.at(0) - '0') * 10 + (text.at(1) - '0');
}

QString sysmexDate(const QByteArray& line, const QString& fileName)
{
    const int yy = twoDigits(MidBytes(line, 4, 2));
    const int month = twoDigits(MidBytes(line, 6, 2));
    const int day = twoDigits(MidBytes(line, 8, 2));
    TDateTime date = 0;
    if (yy < 0 || month < 0 || day < 0 ||
        !TryEncodeDate(yy < 81 ? 2000 + yy : 1900 + yy, month, day, date))
        throw EConvertError(QStringLiteral("'%1' is not a valid date (characters 4 to 9 of the "
                                           "Sysmex result \"%2\")")
                                .arg(AnsiText(MidBytes(line, 4, 6)), fileName));
    return DateToStr(date);
}

// ---- Advia 70

constexpr qsizetype AdviaSize = 454;

struct AdviaField
{
    const char* name;
    qsizetype offset;
    qsizetype length;
};

constexpr AdviaField AdviaHeader[] = {
    {"Code", 0, 6},   {"SeqNo", 6, 15},  {"PatID", 21, 15},
    {"Name", 36, 30}, {"FName", 66, 15}, {"Date", 132, 10},
};
constexpr AdviaField AdviaTime = {"Time", 142, 11};

constexpr const char* AdviaResults[] = {
    "WBC",    "NEUT N", "LYM N", "MONO N", "BAS N", "EOS N", "NEUT P", "LYM P",
    "MONO P", "BAS P",  "EOS P", "RBC",    "Hgb",   "Hct",   "MCV",    "MCH",
    "MCHC",   "RDW",    "Plt",   "MPV",    "Pct",   "PDW",
};
constexpr qsizetype AdviaResultsAt = 153;
constexpr qsizetype AdviaResult = 5;

constexpr const char* AdviaRawValues[] = {
    "RBC Raw Count",
    "RBC TOF",
    "RBC Start Aperture Voltage",
    "RBC End Aperture Voltage",
    "PLT Raw Count",
    "WBC Raw Count",
    "WBC TOF",
    "WBC Start Aperture Voltage",
    "WBC End Aperture Voltage",
    "Hgb Sample",
    "Hgb Reference",
    "WOC Count",
    "WOC Start Rate",
    "WOC End Rate",
    "Vacuum During Sample",
};
constexpr qsizetype AdviaRawValuesAt = 318;
constexpr qsizetype AdviaRawValue = 6;

// A field of the record: its bytes up to the first zero byte, trimmed.
QByteArray adviaField(const QByteArray& record, qsizetype offset, qsizetype length)
{
    QByteArray field = record.mid(offset, length);
    if (const qsizetype zero = field.indexOf('\0'); zero >= 0)
        field.truncate(zero);
    return TrimBytes(field);
}

void adviaResult(const char* code, const QByteArray& value, QStringList& Results,
                 QStringList* Legend)
{
    if (value.isEmpty())
        return;
    const TMDevDataRow* row = FindMDevDataCode(mdAdvia, QString::fromLatin1(code));
    if (!row || !row->VISIBLE)
        return;
    Results.append(row->CODE.toString() + u'=' + ScaleValue(AnsiText(value), row->SCALE).Text);
    AddLegend(Legend, *row);
}

} // namespace

void ViewAutolabFile(const QString& FileName, QStringList& Header, QStringList& Results,
                     QStringList* Legend)
{
    Header.clear();
    Results.clear();
    const QByteArray file = files::readWholeFile(FileName);
    if (file.size() < AutolabHead)
        throw EInOutError(QStringLiteral("The AUTOLAB result \"%1\" holds %2 bytes, fewer than "
                                         "the %3 of its head")
                              .arg(FileName)
                              .arg(file.size())
                              .arg(AutolabHead));
    Header.append(item("Name", TrimBytes(file.mid(1, 8))));
    Header.append(item("Code", TrimBytes(file.mid(9, 30))));
    const qsizetype records = (file.size() - AutolabHead) / AutolabRecord;
    for (qsizetype k = 0; k < records; ++k) {
        const qsizetype at = AutolabHead + AutolabRecord * k;
        const int number = decimalInteger(
            TrimBytes(file.mid(at, 2)),
            QStringLiteral("parameter number of record %1 of \"%2\"").arg(k + 1).arg(FileName));
        const TMDevDataRow* row = FindMDevData(mdAutolab, number);
        if (!row || !row->VISIBLE)
            continue;
        Results.append(row->CODE.toString() + u'=' + AnsiText(TrimBytes(file.mid(at + 2, 7))) +
                       u'\t' + row->DIM_STR.toString());
        if (!row->NAME.isEmpty())
            AddLegend(Legend, *row);
    }
}

void ViewSysmexFile(const QString& FileName, QStringList& Header, QStringList& Results,
                    QStringList* Legend)
{
    Header.clear();
    Results.clear();
    const QByteArray line = ReadTextFileLines(FileName).value(0);
    Header.append(QStringLiteral("Date=") + sysmexDate(line, FileName));
    Header.append(item("Code", TrimLeftChar(MidBytes(line, 12, 11), '0')));

    const QList<const TMDevDataRow*> rows = MDevDataRows(mdSysmex);
    for (qsizetype k = 0; k < rows.size(); ++k) {
        const TMDevDataRow& row = *rows.at(k);
        const qsizetype at = SysmexFirstField + SysmexField * k;
        if (at + SysmexField - 1 > line.size())
            break; // this field and the next are not wholly in the line
        const QByteArray field = MidBytes(line, at, SysmexField);
        if (field.front() == '*' || !row.VISIBLE)
            continue;
        const qsizetype whole = sysmexWholeDigits(row.NUMBER);
        const QByteArray digits =
            TrimLeftChar(field.left(whole) + '.' + field.mid(whole, 4 - whole), '0');
        const TScaledValue scaled = ScaleValue(AnsiText(digits), row.SCALE);
        QString value = scaled.Text;
        if (value.endsWith(u'.'))
            value.chop(1);
        Results.append(row.CODE.toString() + u'=' + value + u'\t' +
                       (scaled.Read ? row.DIM_STR.toString() : QString()) + u'\t' +
                       sysmexFlag(field.at(4)));
        if (!row.NAME.isEmpty())
            AddLegend(Legend, row);
    }
}

void ViewAdviaFile(const QString& FileName, QStringList& Header, QStringList& Results,
                   QStringList* Legend)
{
    ClearDecoderLists(Header, Results, Legend);
    const QByteArray record = files::readWholeFile(FileName);
    if (record.size() < AdviaSize)
        throw EInOutError(QStringLiteral("The Advia result \"%1\" holds %2 bytes, fewer than "
                                         "the %3 of its record")
                              .arg(FileName)
                              .arg(record.size())
                              .arg(AdviaSize));
    for (const AdviaField& f : AdviaHeader)
        if (const QByteArray text = adviaField(record, f.offset, f.length); !text.isEmpty())
            Header.append(item(f.name, text));

    const QString time = AnsiText(adviaField(record, AdviaTime.offset, AdviaTime.length));
    TDateTime when = 0;
    if (!TryStrToTime(time, when))
        throw EConvertError(QStringLiteral("'%1' is not a valid time (the time of day of the "
                                           "Advia result \"%2\")")
                                .arg(time, FileName));
    Header.append(QStringLiteral("Time=") + FormatDateTime(QStringLiteral("hh:nn:ss"), when));

    for (qsizetype k = 0; k < qsizetype(std::size(AdviaResults)); ++k)
        adviaResult(AdviaResults[k],
                    adviaField(record, AdviaResultsAt + AdviaResult * k, AdviaResult), Results,
                    Legend);
    for (qsizetype k = 0; k < qsizetype(std::size(AdviaRawValues)); ++k)
        adviaResult(AdviaRawValues[k],
                    adviaField(record, AdviaRawValuesAt + AdviaRawValue * k, AdviaRawValue),
                    Results, Legend);
}
