// Dates and times: encoding and decoding TDateTime values, the picture format of FormatDateTime
// (runs of the letters y, m, d, h, n, s, z, t and c, am/pm markers, quoted text, and "/" and ":"
// for the regional separators), reading dates and times written in the regional formats, and the
// bridge to QDateTime.
#include "regional.h"

#include "exception.h"

#include <cmath>

namespace {

constexpr qint64 MinDay = -693593; // 0001-01-01
constexpr qint64 MaxDay = 2958465; // 9999-12-31
constexpr int MSecsPerDay = 86400000;
const qint64 EpochJulianDay = QDate(1899, 12, 30).toJulianDay();

// A value split into its day and its time of day in milliseconds.
struct Stamp
{
    bool valid = false;
    qint64 day = 0;
    int msecs = 0;
};

Stamp split(TDateTime value)
{
    Stamp s;
    if (!std::isfinite(value))
        return s;
    double whole = 0;
    const double fraction = std::modf(value, &whole);
    if (whole < double(MinDay) || whole > double(MaxDay))
        return s;
    s.day = qint64(whole);
    s.msecs = int(std::llround(std::fabs(fraction) * MSecsPerDay));
    if (s.msecs >= MSecsPerDay) { // rounds up to midnight: the next day has begun
        s.msecs -= MSecsPerDay;
        ++s.day;
    }
    s.valid = s.day <= MaxDay;
    return s;
}

TDateTime combine(double day, double time)
{
    return day < 0 ? day - time : day + time;
}

QDate dateOf(const Stamp& s)
{
    return QDate::fromJulianDay(EpochJulianDay + s.day);
}

QString padded(int value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 10, QLatin1Char('0'));
}

// ---- FormatDateTime

class DateTimeWriter
{
public:
    DateTimeWriter(TDateTime value, const FormatSettings& fs) : m_fs(fs)
    {
        const Stamp s = split(value);
        m_valid = s.valid;
        if (s.valid) {
            const QDate d = dateOf(s);
            m_year = d.year();
            m_month = d.month();
            m_day = d.day();
            m_dayOfWeek = d.dayOfWeek() % 7; // Sunday first
            m_hour = s.msecs / 3600000;
            m_minute = s.msecs / 60000 % 60;
            m_second = s.msecs / 1000 % 60;
            m_msec = s.msecs % 1000;
        }
    }

    QString write(const QString& format, int depth = 0) const
    {
        QString out;
        const bool twelveHour = hasAmPm(format);
        QChar lastToken;
        const int n = format.size();
        for (int i = 0; i < n;) {
            const QChar c = format.at(i);
            if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                const int end = format.indexOf(c, i + 1);
                const int stop = end < 0 ? n : end;
                out += format.mid(i + 1, stop - i - 1);
                i = stop + 1;
                continue;
            }
            if (c == QLatin1Char('/')) {
                out += m_fs.dateSeparator;
                ++i;
                continue;
            }
            if (c == QLatin1Char(':')) {
                out += m_fs.timeSeparator;
                ++i;
                continue;
            }
            if (!isAsciiLetter(c)) {
                out += c;
                ++i;
                continue;
            }
            QChar token = c.toUpper();
            if (token == QLatin1Char('A')) {
                i += writeAmPm(format, i, out);
                lastToken = token;
                continue;
            }
            int count = 1;
            while (i + count < n && format.at(i + count).toUpper() == token)
                ++count;
            if (token == QLatin1Char('M') && lastToken == QLatin1Char('H'))
                token = QLatin1Char('N');
            lastToken = token;
            writeToken(out, token, QStringView(format).mid(i, count), twelveHour, depth);
            i += count;
        }
        return out;
    }

private:
    // One run of equal pattern letters as written; `token` is its letter in upper case (N for
    // minutes).
    void writeToken(QString& out, QChar token, QStringView run, bool twelveHour, int depth) const
    {
        const int count = int(run.size());
        switch (token.unicode()) {
        case 'Y':
            out += count <= 2 ? padded(m_year % 100, 2) : padded(m_year, 4);
            break;
        case 'M':
            if (count <= 2)
                out += padded(m_month, count);
            else
                out += monthName(count == 3);
            break;
        case 'D':
            if (count <= 2)
                out += padded(m_day, count);
            else if (count <= 4)
                out += dayName(count == 3);
            else
                out += nested(count == 5 ? m_fs.shortDateFormat : m_fs.longDateFormat, depth);
            break;
        case 'H': {
            int h = m_hour;
            if (twelveHour) {
                h %= 12;
                if (h == 0)
                    h = 12;
            }
            out += padded(h, qMin(count, 2));
            break;
        }
        case 'N':
            out += padded(m_minute, qMin(count, 2));
            break;
        case 'S':
            out += padded(m_second, qMin(count, 2));
            break;
        case 'Z':
            out += count >= 3 ? padded(m_msec, 3) : QString::number(m_msec);
            break;
        case 'T':
            out += nested(count == 1 ? m_fs.shortTimeFormat : m_fs.longTimeFormat, depth);
            break;
        case 'C':
            out += nested(m_fs.shortDateFormat, depth);
            if (m_hour != 0 || m_minute != 0 || m_second != 0)
                out += QLatin1Char(' ') + nested(m_fs.longTimeFormat, depth);
            break;
        default:
            out += run;
            break;
        }
    }

    static bool isAsciiLetter(QChar c)
    {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
    }

    static int amPmLength(const QString& format, int i)
    {
        if (format.mid(i, 5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0)
            return 5;
        if (format.mid(i, 3).compare(QLatin1String("a/p"), Qt::CaseInsensitive) == 0)
            return 3;
        if (format.mid(i, 4).compare(QLatin1String("ampm"), Qt::CaseInsensitive) == 0)
            return 4;
        return 0;
    }

    static bool hasAmPm(const QString& format)
    {
        for (int i = 0; i < format.size(); ++i) {
            const QChar c = format.at(i);
            if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                const int end = format.indexOf(c, i + 1);
                if (end < 0)
                    return false;
                i = end;
            } else if (amPmLength(format, i) > 0) {
                return true;
            }
        }
        return false;
    }

    // Writes the marker at `i` (or the lone letter) and returns how many characters it took.
    int writeAmPm(const QString& format, int i, QString& out) const
    {
        const bool pm = m_hour >= 12;
        switch (amPmLength(format, i)) {
        case 5:
            out += pm ? format.mid(i + 3, 2) : format.mid(i, 2);
            return 5;
        case 3:
            out += pm ? format.mid(i + 2, 1) : format.mid(i, 1);
            return 3;
        case 4:
            out += pm ? m_fs.timePMString : m_fs.timeAMString;
            return 4;
        default:
            out += format.at(i);
            return 1;
        }
    }

    QString dayName(bool shortName) const
    {
        if (!m_valid)
            return QString();
        return shortName ? m_fs.shortDayNames[m_dayOfWeek] : m_fs.longDayNames[m_dayOfWeek];
    }

    QString monthName(bool shortName) const
    {
        if (!m_valid)
            return QString();
        return shortName ? m_fs.shortMonthNames[m_month - 1] : m_fs.longMonthNames[m_month - 1];
    }

    // A format inside a format (the short date format for "ddddd"); the depth stops a settings
    // format that names itself from looping.
    QString nested(const QString& format, int depth) const
    {
        return depth < 2 ? write(format, depth + 1) : QString();
    }

    const FormatSettings& m_fs;
    bool m_valid = false;
    int m_year = 0, m_month = 0, m_day = 0, m_dayOfWeek = 0;
    int m_hour = 0, m_minute = 0, m_second = 0, m_msec = 0;
};

// ---- Reading dates and times

class Scanner
{
public:
    explicit Scanner(const QString& text) : m_text(text) {}

    void skipBlanks()
    {
        while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
            ++m_pos;
    }
    bool atEnd()
    {
        skipBlanks();
        return m_pos >= m_text.size();
    }
    int position() const { return m_pos; }
    void setPosition(int pos) { m_pos = pos; }

    // Up to `maxDigits` decimal digits after blanks; `digits` receives how many were read.
    bool number(int& value, int& digits, int maxDigits = 4)
    {
        skipBlanks();
        value = 0;
        digits = 0;
        while (m_pos < m_text.size()) {
            const char16_t u = m_text.at(m_pos).unicode();
            if (u < u'0' || u > u'9')
                break;
            if (++digits > maxDigits)
                return false;
            value = value * 10 + (u - u'0');
            ++m_pos;
        }
        return digits > 0;
    }
    bool number(int& value)
    {
        int digits = 0;
        return number(value, digits);
    }

    bool character(QChar c)
    {
        skipBlanks();
        if (m_pos < m_text.size() && m_text.at(m_pos) == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool word(const QString& w)
    {
        skipBlanks();
        if (!w.isEmpty() && m_text.mid(m_pos, w.size()).compare(w, Qt::CaseInsensitive) == 0) {
            m_pos += int(w.size());
            return true;
        }
        return false;
    }

private:
    const QString& m_text;
    int m_pos = 0;
};

enum class DateOrder { DMY, MDY, YMD };

DateOrder dateOrder(const QString& shortDateFormat)
{
    for (const QChar c : shortDateFormat) {
        const QChar u = c.toUpper();
        if (u == QLatin1Char('D'))
            return DateOrder::DMY;
        if (u == QLatin1Char('M'))
            return DateOrder::MDY;
        if (u == QLatin1Char('Y'))
            return DateOrder::YMD;
    }
    return DateOrder::DMY;
}

bool scanDate(Scanner& sc, const FormatSettings& fs, TDateTime& value)
{
    int n[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        if (k > 0 && !sc.character(fs.dateSeparator))
            return false;
        if (!sc.number(n[k], digits[k]))
            return false;
    }
    int year = 0, month = 0, day = 0, yearDigits = 0;
    switch (dateOrder(fs.shortDateFormat)) {
    case DateOrder::DMY:
        day = n[0], month = n[1], year = n[2], yearDigits = digits[2];
        break;
    case DateOrder::MDY:
        month = n[0], day = n[1], year = n[2], yearDigits = digits[2];
        break;
    case DateOrder::YMD:
        year = n[0], month = n[1], day = n[2], yearDigits = digits[0];
        break;
    }
    if (yearDigits <= 2)
        year += 2000;
    return TryEncodeDate(year, month, day, value);
}

bool scanTime(Scanner& sc, const FormatSettings& fs, TDateTime& value)
{
    int hour = 0, minute = 0, second = 0, msec = 0;
    if (!sc.number(hour) || !sc.character(fs.timeSeparator) || !sc.number(minute))
        return false;
    if (sc.character(fs.timeSeparator)) {
        if (!sc.number(second))
            return false;
        if (sc.character(QLatin1Char('.')) || sc.character(fs.decimalSeparator)) {
            int digits = 0;
            if (!sc.number(msec, digits, 3))
                return false;
            for (; digits < 3; ++digits) // a fraction of the second: ",5" is 500 ms
                msec *= 10;
        }
    }
    if (sc.word(fs.timeAMString)) {
        if (hour < 1 || hour > 12)
            return false;
        hour %= 12;
    } else if (sc.word(fs.timePMString)) {
        if (hour < 1 || hour > 12)
            return false;
        hour = hour % 12 + 12;
    }
    return TryEncodeTime(hour, minute, second, msec, value);
}

[[noreturn]] void notValid(const QString& text, const char* what)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid %2").arg(text, QLatin1String(what)));
}

} // namespace

bool IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& value)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        return false;
    value = double(QDate(year, month, day).toJulianDay() - EpochJulianDay);
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime v = 0;
    if (!TryEncodeDate(year, month, day, v))
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    return v;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        msec < 0 || msec > 999)
        return false;
    value = double(((hour * 60 + minute) * 60 + second) * 1000 + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec)
{
    TDateTime v = 0;
    if (!TryEncodeTime(hour, minute, second, msec, v))
        throw EConvertError(QStringLiteral("Invalid argument to time encode"));
    return v;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day)
{
    year = month = day = 0;
    const Stamp s = split(value);
    if (!s.valid)
        return;
    dateOf(s).getDate(&year, &month, &day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec)
{
    hour = minute = second = msec = 0;
    const Stamp s = split(value);
    if (!s.valid)
        return;
    hour = s.msecs / 3600000;
    minute = s.msecs / 60000 % 60;
    second = s.msecs / 1000 % 60;
    msec = s.msecs % 1000;
}

qint64 Trunc(double value)
{
    // 2^63 is the first double beyond the range.
    if (!(std::fabs(value) < 9223372036854775808.0))
        throw EConvertError(QStringLiteral("Invalid floating point operation"));
    return qint64(value);
}

double Frac(double value)
{
    return value - std::trunc(value);
}

TDateTime toDateTime(const QDateTime& value)
{
    if (!value.isValid())
        throw EConvertError(QStringLiteral("Invalid date and time"));
    const qint64 day = value.date().toJulianDay() - EpochJulianDay;
    if (day < MinDay || day > MaxDay)
        throw EConvertError(QStringLiteral("Invalid date and time"));
    return combine(double(day), double(value.time().msecsSinceStartOfDay()) / MSecsPerDay);
}

QDateTime toQDateTime(TDateTime value)
{
    const Stamp s = split(value);
    if (!s.valid)
        return QDateTime();
    return QDateTime(dateOf(s), QTime::fromMSecsSinceStartOfDay(s.msecs));
}

QString FormatDateTime(const QString& format, TDateTime value, const FormatSettings& fs)
{
    return DateTimeWriter(value, fs).write(format.isEmpty() ? QStringLiteral("c") : format);
}

QString DateToStr(TDateTime value, const FormatSettings& fs)
{
    return FormatDateTime(QStringLiteral("ddddd"), value, fs);
}

QString TimeToStr(TDateTime value, const FormatSettings& fs)
{
    return FormatDateTime(QStringLiteral("tt"), value, fs);
}

QString DateTimeToStr(TDateTime value, const FormatSettings& fs)
{
    return FormatDateTime(QStringLiteral("c"), value, fs);
}

bool TryStrToDate(const QString& text, TDateTime& value, const FormatSettings& fs)
{
    Scanner sc(text);
    TDateTime v = 0;
    if (!scanDate(sc, fs, v) || !sc.atEnd())
        return false;
    value = v;
    return true;
}

bool TryStrToTime(const QString& text, TDateTime& value, const FormatSettings& fs)
{
    Scanner sc(text);
    TDateTime v = 0;
    if (!scanTime(sc, fs, v) || !sc.atEnd())
        return false;
    value = v;
    return true;
}

bool TryStrToDateTime(const QString& text, TDateTime& value, const FormatSettings& fs)
{
    Scanner sc(text);
    TDateTime date = 0;
    if (scanDate(sc, fs, date)) {
        if (sc.atEnd()) {
            value = date;
            return true;
        }
        TDateTime time = 0;
        if (!scanTime(sc, fs, time) || !sc.atEnd())
            return false;
        value = combine(date, time);
        return true;
    }
    return TryStrToTime(text, value, fs);
}

TDateTime StrToDate(const QString& text, const FormatSettings& fs)
{
    TDateTime v = 0;
    if (!TryStrToDate(text, v, fs))
        notValid(text, "date");
    return v;
}

TDateTime StrToTime(const QString& text, const FormatSettings& fs)
{
    TDateTime v = 0;
    if (!TryStrToTime(text, v, fs))
        notValid(text, "time");
    return v;
}

TDateTime StrToDateTime(const QString& text, const FormatSettings& fs)
{
    TDateTime v = 0;
    if (!TryStrToDateTime(text, v, fs))
        notValid(text, "date and time");
    return v;
}
