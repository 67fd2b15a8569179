// Field presentation: the typed dates and times, and the formats, masks, widths and text
// handlers the access component gives each field of a dataset.
#include "fieldformat.h"

#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <kernel/kerneltexts.h>
#include <kernel/krnproc.h>
#include <kernel/metadata.h>
#include <kernel/schemaapi.h>
#include <platform/data/field.h>
#include <platform/regional.h>

#include <cmath>

TFieldFormats& FieldFormats()
{
    static TFieldFormats formats;
    return formats;
}

namespace {

// True when the text holds nothing but these characters (the empty text too).
bool onlyOf(const QString& text, const QString& characters)
{
    return std::all_of(text.begin(), text.end(),
                       [&characters](QChar c) { return characters.contains(c); });
}

int numberOf(const QString& text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? n : 0;
}

QString writtenDate(TDateTime value)
{
    int hour = 0, minute = 0, second = 0, msec = 0;
    DecodeTime(value, hour, minute, second, msec);
    const bool timed = hour != 0 || minute != 0;
    return FormatDateTime(timed ? FieldFormats().DateDisplay + QStringLiteral(" hh:nn")
                                : FieldFormats().DateDisplay,
                          value);
}

} // namespace

QString NormalizeDateText(const QString& text)
{
    const QChar separator = regional().dateSeparator;
    if (onlyOf(text, QString(separator) + QStringLiteral(" :")))
        return QString();
    if (text ==
        QStringLiteral("29") + separator + QStringLiteral("02") + separator + QStringLiteral("00"))
        return writtenDate(EncodeDate(2000, 2, 29));

    QString datePart = text;
    QString whole = text;
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        const qsizetype from = qMax<qsizetype>(0, colon - 2);
        int hours = numberOf(text.mid(from, colon - from));
        int minutes = numberOf(text.mid(colon + 1, 2));
        if (hours > 24)
            hours = 0;
        if (minutes > 60)
            minutes = 0;
        const qsizetype space = colon > 0 ? text.lastIndexOf(QLatin1Char(' '), colon - 1) : -1;
        datePart = (space >= 0 ? text.left(space) : text.left(from)).trimmed();
        whole = datePart + QLatin1Char(' ') +
                QStringLiteral("%1").arg(hours, 2, 10, QLatin1Char('0')) + QLatin1Char(':') +
                QStringLiteral("%1").arg(minutes, 2, 10, QLatin1Char('0'));
    }
    const QString year = datePart.mid(datePart.lastIndexOf(separator) + 1).trimmed();
    TDateTime value = 0;
    if (!TryStrToDateTime(whole, value))
        return text;
    if (year.size() <= 2) {
        int y = 0, m = 0, d = 0;
        DecodeDate(value, y, m, d);
        const int window = FieldFormats().TwoDigitYearWindow;
        int moved = y;
        if (y >= 1900 && y < 1900 + window)
            moved = y + 100;
        else if (y > 2000 + window && y <= 2099)
            moved = y - 100;
        TDateTime day = 0;
        if (moved != y && TryEncodeDate(moved, m, d, day))
            value = day + (value - std::trunc(value));
    }
    return writtenDate(value);
}

namespace {

void setFormats(Field& field, const QString& display, const QString& edit)
{
    if (field.displayFormat().isEmpty())
        field.setDisplayFormat(display);
    if (field.editFormat().isEmpty())
        field.setEditFormat(edit);
}

void setMask(Field& field, const QString& mask)
{
    if (field.editMask().isEmpty())
        field.setEditMask(mask);
}

// A typed text the field cannot take is refused with the kernel's field-value format message.
template <class Convert> void takeTyped(Field& field, Convert&& convert)
{
    try {
        convert();
    } catch (const EConvertError&) {
        FieldFormatError(field.displayLabel());
    }
}

void setGetText(Field& field, decltype(Field::onGetText) handler)
{
    if (!field.onGetText)
        field.onGetText = std::move(handler);
}

void setSetText(Field& field, decltype(Field::onSetText) handler)
{
    if (!field.onSetText)
        field.onSetText = std::move(handler);
}

void setupTime(Field& field)
{
    setMask(field, FieldFormats().TimeEditMask);
    if (field.displayFormat().isEmpty())
        field.setDisplayFormat(FieldFormats().TimeDisplay);
    setSetText(field, [](Field& f, const QString& typed) {
        const QChar separator = regional().dateSeparator;
        if (onlyOf(typed, QString(separator) + QLatin1Char(' '))) {
            f.clear();
            return;
        }
        // "01/01/1900 " and the time typed, with the regional separator.
        f.setAsString(NormalizeDateText(QStringLiteral("01") + separator + QStringLiteral("01") +
                                        separator + QStringLiteral("1900 ") + typed));
    });
    setGetText(field, [](const Field& f, QString& text, bool) {
        const TDateTime value = f.isNull() ? 0 : f.asDateTime();
        text = value != 0 ? FormatDateTime(QStringLiteral("hh:nn"), value) : QString();
    });
}

void setupBoolean(Field& field)
{
    field.setAlignment(Qt::AlignLeft);
    setGetText(field, [](const Field& f, QString& text, bool) {
        if (f.dataSet() && f.dataSet()->isEmpty()) {
            text.clear();
            return;
        }
        const bool value = f.isNull()                           ? false
                           : f.dataType() == FieldType::Integer ? f.asInteger() == 1
                                                                : f.asBoolean();
        text = BoolToYesNo(value);
    });
}

void setupDate(Field& field)
{
    setMask(field, FieldFormats().DateEditMask);
    if (field.displayFormat().isEmpty())
        field.setDisplayFormat(FieldFormats().DateDisplay);
    setSetText(field, [](Field& f, const QString& typed) {
        takeTyped(f, [&] { f.setAsString(NormalizeDateText(typed)); });
    });
    setGetText(field,
               [](const Field& f, QString& text, bool) { text = NormalizeDateText(f.asString()); });
}

// The longest label of a value list in the current language.
int longestLabel(const QString& values)
{
    int longest = 0;
    for (const QString& entry : SplitLookupList(values))
        longest = qMax(longest, int(ExtractMultiLabel(entry, CurrentLangKey()).size()));
    return longest;
}

// The settings by kernel type of a cache field with a description; true when the field needs no
// more.
bool setupByKernelType(Field& field, const TFieldProps& props)
{
    const TFieldFormats& formats = FieldFormats();
    switch (props.DataType) {
    case dtBoolean:
        setupBoolean(field);
        return true;
    case dtCours:
        setFormats(field, formats.ExchangeRateDisplay, formats.ExchangeRateEdit);
        setSetText(field, [](Field& f, const QString& typed) {
            takeTyped(f, [&] { f.setAsFloat(StrToFloatAdj(typed)); });
        });
        return true;
    case dtTaux:
        setFormats(field, formats.RateDisplay, formats.RateEdit);
        setSetText(field, [](Field& f, const QString& typed) {
            if (typed.trimmed().isEmpty()) {
                f.clear();
                return;
            }
            // Our fields carry no limits of their own: a rate lies between -100 and 100.
            takeTyped(f, [&] { f.setAsFloat(qBound(-100.0, StrToFloat(typed), 100.0)); });
        });
        return true;
    case dtLangString:
        if (field.displayWidth() == field.size())
            field.setDisplayWidth((field.size() - 15) / 3);
        setGetText(field, [](const Field& f, QString& text, bool) {
            text = MultiLangGetText(f.asString());
        });
        setSetText(field, [](Field& f, const QString& typed) {
            f.setAsString(MultiLangSetText(f.asString(), typed));
        });
        return false;
    default:
        break;
    }
    const QString values = props.GetCustom(QStringLiteral("LookupValues"));
    if (values.isEmpty())
        return false;
    field.setDisplayWidth(1 + longestLabel(values));
    field.setAlignment(Qt::AlignLeft);
    // A copy: a reload of the descriptions frees the one the cache holds.
    setGetText(field, [list = props](const Field& f, QString& text, bool) {
        text = list.LookupValue(f.asString());
    });
    return true;
}

} // namespace

void TDBAccess::SetupFields(DataSet& dataSet)
{
    for (int i = 0; i < dataSet.fieldCount(); ++i)
        SetupField(*dataSet.field(i));
}

void TDBAccess::SetupField(Field& field)
{
    if (const auto* cache = dynamic_cast<const TDBCache*>(field.dataSet())) {
        const TFieldProps* props = cache->FindFieldProps(field.fieldName());
        const TSelectItem* item =
            cache->Request() ? cache->Request()->FindSelectItem(field.fieldName()) : nullptr;
        const bool time = props ? props->DataType == dtTime : item && item->DataType() == dtTime;
        if (time) {
            setupTime(field);
            return;
        }
        if (props && setupByKernelType(field, *props))
            return;
    }
    switch (field.dataType()) {
    case FieldType::Boolean:
        setupBoolean(field);
        break;
    case FieldType::Currency:
        setFormats(field, FieldFormats().MoneyDisplay, FieldFormats().MoneyEdit);
        break;
    case FieldType::Date:
    case FieldType::DateTime:
        setupDate(field);
        break;
    default:
        break;
    }
}
