// The fixed regional settings of each language, the settings in force, and the integer text
// routines. Month and day names live here and nowhere else.
#include "regional.h"

#include "exception.h"

#include <limits>

namespace {

FormatSettings makeFrench()
{
    FormatSettings fs;
    fs.shortDateFormat = QStringLiteral("dd/mm/yyyy");
    fs.longDateFormat = QStringLiteral("dddd d mmmm yyyy");
    fs.dateSeparator = QLatin1Char('/');
    fs.shortTimeFormat = QStringLiteral("hh:nn");
    fs.longTimeFormat = QStringLiteral("hh:nn:ss");
    fs.timeSeparator = QLatin1Char(':');
    fs.timeAMString = QStringLiteral("AM");
    fs.timePMString = QStringLiteral("PM");
    fs.decimalSeparator = QLatin1Char(',');
    fs.thousandSeparator = QLatin1Char(' ');
    fs.currencyString = QStringLiteral("€");
    fs.currencyDecimals = 2;
    fs.shortMonthNames = {"janv.", "févr.", "mars",  "avr.", "mai",  "juin",
                          "juil.", "août",  "sept.", "oct.", "nov.", "déc."};
    fs.longMonthNames = {"janvier", "février", "mars",      "avril",   "mai",      "juin",
                         "juillet", "août",    "septembre", "octobre", "novembre", "décembre"};
    fs.shortDayNames = {"dim.", "lun.", "mar.", "mer.", "jeu.", "ven.", "sam."};
    fs.longDayNames = {"dimanche", "lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi"};
    return fs;
}

FormatSettings makeRussian()
{
    FormatSettings fs = makeFrench();
    fs.shortDateFormat = QStringLiteral("dd.mm.yyyy");
    fs.longDateFormat = QStringLiteral("d mmmm yyyy");
    fs.dateSeparator = QLatin1Char('.');
    fs.currencyString = QStringLiteral("р.");
    fs.shortMonthNames = {"янв", "фев", "мар", "апр", "май", "июн",
                          "июл", "авг", "сен", "окт", "ноя", "дек"};
    fs.longMonthNames = {"Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
                         "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
    fs.shortDayNames = {"Вс", "Пн", "Вт", "Ср", "Чт", "Пт", "Сб"};
    fs.longDayNames = {"воскресенье", "понедельник", "вторник", "среда",
                       "четверг",     "пятница",     "суббота"};
    return fs;
}

FormatSettings& current()
{
    static FormatSettings settings = makeFrench();
    return settings;
}

QString hexDigits(quint64 value, int digits)
{
    QString text = QString::number(value, 16).toUpper();
    digits = qBound(0, digits, 32);
    if (text.size() < digits)
        text.prepend(QString(digits - text.size(), QLatin1Char('0')));
    return text;
}

// Reads a decimal or hexadecimal integer; `maxUnsigned` bounds hexadecimal text and
// `maxSigned` decimal text (the negative bound being one more).
bool parseInteger(const QString& text, quint64 maxUnsigned, quint64 maxSigned, qint64& value)
{
    int i = 0;
    const int n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && text.at(i) == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text.at(i) == QLatin1Char('0') &&
               (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    const quint64 limit = base == 16 ? maxUnsigned : maxSigned + (negative ? 1 : 0);
    quint64 magnitude = 0;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0 || digit >= base)
            return false;
        if (magnitude > (limit - quint64(digit)) / quint64(base))
            return false;
        magnitude = magnitude * quint64(base) + quint64(digit);
    }
    if (base == 16 && maxUnsigned <= quint64(std::numeric_limits<quint32>::max())) {
        // Hexadecimal fills the 32-bit width: "$FFFFFFFF" is -1.
        qint64 v = qint32(quint32(magnitude));
        value = negative ? -v : v;
        return true;
    }
    value = negative ? qint64(0 - magnitude) : qint64(magnitude);
    return true;
}

[[noreturn]] void notInteger(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

} // namespace

const FormatSettings& regional()
{
    return current();
}

FormatSettings regionalForLanguage(int language)
{
    return language == 2 ? makeRussian() : makeFrench();
}

void setRegionalLanguage(int language)
{
    current() = regionalForLanguage(language);
}

QString IntToStr(qint64 value)
{
    return QString::number(value);
}

QString IntToHex(int value, int digits)
{
    return hexDigits(quint32(value), digits);
}
QString IntToHex(unsigned value, int digits)
{
    return hexDigits(value, digits);
}
QString IntToHex(qint64 value, int digits)
{
    return hexDigits(quint64(value), digits);
}
QString IntToHex(quint64 value, int digits)
{
    return hexDigits(value, digits);
}

bool TryStrToInt(const QString& text, int& value)
{
    qint64 v = 0;
    if (!parseInteger(text, std::numeric_limits<quint32>::max(),
                      quint64(std::numeric_limits<qint32>::max()), v))
        return false;
    value = int(v);
    return true;
}

bool TryStrToInt64(const QString& text, qint64& value)
{
    return parseInteger(text, std::numeric_limits<quint64>::max(),
                        quint64(std::numeric_limits<qint64>::max()), value);
}

int StrToInt(const QString& text)
{
    int v = 0;
    if (!TryStrToInt(text, v))
        notInteger(text);
    return v;
}

qint64 StrToInt64(const QString& text)
{
    qint64 v = 0;
    if (!TryStrToInt64(text, v))
        notInteger(text);
    return v;
}

int StrToIntDef(const QString& text, int defaultValue)
{
    int v = 0;
    return TryStrToInt(text, v) ? v : defaultValue;
}
