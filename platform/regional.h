// Regional settings of the program's language, held in one place and never taken from the machine
// locale, and the runtime-library routines every layer uses to turn numbers and dates into text
// and back with them.
#pragma once

#include <platform/variant.h>

#include <QDateTime>
#include <QString>

#include <array>

// The separators, formats and names that number and date texts are written and read with.
struct FormatSettings
{
    QString shortDateFormat; // "dd/mm/yyyy"; "/" in a format stands for dateSeparator
    QString longDateFormat;  // "dddd d mmmm yyyy"
    QChar dateSeparator;
    QString shortTimeFormat; // "hh:nn"; ":" in a format stands for timeSeparator
    QString longTimeFormat;  // "hh:nn:ss"
    QChar timeSeparator;
    QString timeAMString; // shown by "ampm" and accepted after a time
    QString timePMString;
    QChar decimalSeparator;
    QChar thousandSeparator;
    QString currencyString; // written after money amounts, after a blank
    int currencyDecimals = 2;
    std::array<QString, 12> shortMonthNames; // January first
    std::array<QString, 12> longMonthNames;
    std::array<QString, 7> shortDayNames; // Sunday first, as DayOfWeek counts
    std::array<QString, 7> longDayNames;
};

// The settings in force: those of the language last given to setRegionalLanguage (French ones,
// those of language 0, until then). Set once at start-up, before any other thread runs.
const FormatSettings& regional();
void setRegionalLanguage(int language);
// The fixed settings of a language: 2 (Russian) "dd.mm.yyyy" with Russian names; every other code
// (0, 1 French, 3 English) "dd/mm/yyyy" with French names. Both use "," for decimals and a blank
// between thousands. Callers that need a variant for one call copy these and change a field.
FormatSettings regionalForLanguage(int language);

// ---- Integers

QString IntToStr(qint64 value);
// Upper-case hexadecimal, at least `digits` digits (zero-padded). A negative value is written as
// its two's complement of the argument's width: IntToHex(-1, 4) is "FFFFFFFF".
QString IntToHex(int value, int digits);
QString IntToHex(unsigned value, int digits);
QString IntToHex(qint64 value, int digits);
QString IntToHex(quint64 value, int digits);

// Decimal text, or hexadecimal after "$" or "0x"; blanks may lead, nothing may trail; an optional
// sign comes first ("-$10" is -16). Hexadecimal may use the full unsigned range of the width
// ("$FFFFFFFF" is -1); decimal text outside the range is refused.
// Failure raises EConvertError "'<text>' is not a valid integer value".
int StrToInt(const QString& text);
qint64 StrToInt64(const QString& text);
int StrToIntDef(const QString& text, int defaultValue);
bool TryStrToInt(const QString& text, int& value);
bool TryStrToInt64(const QString& text, qint64& value);

// ---- Floating-point numbers
//
// Numbers are written from their fifteen leading significant digits (a double holds no more),
// rounded half away from zero at the place a format asks for: 2.675 with two decimals is "2,68".
// A negative number that rounds to zero is written without its sign. NaN and infinities are
// written "NAN", "INF" and "-INF".

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// ffGeneral: the shortest text of at most `precision` significant digits; scientific ("1,5E20",
//   "1E-5") when the number needs more than `precision` integer digits or is below 0.0001;
//   `digits` is the least number of exponent digits.
// ffExponent: "d,ddd…E+ddd" with `precision` significant digits and at least `digits` exponent
//   digits (0 to 4); the exponent's sign is always written.
// ffFixed: `digits` decimals (0 to 18), no thousands separators; general format when the number
//   needs more than `precision` integer digits.
// ffNumber: as ffFixed, with thousands separators.
// ffCurrency: as ffNumber, then a blank and the currency string.
QString FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                    const FormatSettings& fs = regional());
// General format, 15 significant digits: 2.5 is "2,5", 1e15 is "1E15".
QString FloatToStr(double value, const FormatSettings& fs = regional());
// Up to four decimals, trailing zeros removed, never scientific: 12.5 is "12,5".
QString CurrToStr(Currency value, const FormatSettings& fs = regional());

// Reads "[sign]digits[separator digits][E[sign]digits]" between optional blanks, where the
// separator is the regional decimal separator or ".". Thousands separators are not accepted.
// Failure raises EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(const QString& text, const FormatSettings& fs = regional());
double StrToFloatDef(const QString& text, double defaultValue,
                     const FormatSettings& fs = regional());
bool TryStrToFloat(const QString& text, double& value, const FormatSettings& fs = regional());

// Picture formatting. Up to three sections separated by ";": positive, negative (written without
// the sign), zero; an empty or missing negative section means "the positive one with a leading
// minus", an empty or missing zero section the positive one. In a section: "0" a digit always
// shown, "#" a digit shown when significant, "." the place of the decimal separator, "," anywhere
// before it asks for thousands separators, "E+", "E-", "e+", "e-" scientific notation with as
// many exponent digits as "0"s follow (at most four); text in quotes, and any other character, is
// copied, except that a character between integer placeholders is written only once a digit
// stands before it. Integer digits beyond the placeholders go before the first one. An empty
// format gives FloatToStr. FormatFloat("#,##0.00", 1234.5) is "1 234,50", and so is
// FormatFloat("# ### ##0.00", 1234.5); FormatFloat("0.###", 2) is "2".
QString FormatFloat(const QString& format, double value, const FormatSettings& fs = regional());

// ---- Dates and times
//
// TDateTime counts days since 1899-12-30; its fraction is the time of day. Before that day the
// value is negative and the fraction's absolute value is still the time: -1.25 is 1899-12-29
// 06:00. Times are exact to the millisecond; a time that rounds up to midnight belongs to the next
// day. Dates run from 0001-01-01 to 9999-12-31.

// Year 1..9999, month 1..12, day 1..DaysInMonth; otherwise EConvertError
// "Invalid argument to date encode".
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
// Hour 0..23, minute and second 0..59, millisecond 0..999; otherwise EConvertError
// "Invalid argument to time encode".
TDateTime EncodeTime(int hour, int minute, int second, int msec);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value);
// A value outside the date range (or not a number) decodes as all zeros.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month); // 0 for a month outside 1..12
// Integer part (towards zero) and the rest; NaN or a value beyond the 64-bit range raises
// EConvertError.
qint64 Trunc(double value);
double Frac(double value);

// To and from Qt's date-time, using its date and wall-clock time as they stand (local time). An
// invalid QDateTime raises EConvertError; a TDateTime outside the date range gives an invalid
// QDateTime.
TDateTime toDateTime(const QDateTime& value);
QDateTime toQDateTime(TDateTime value);

// Specifiers, in upper or lower case: d dd (day), ddd dddd (short and long day name), ddddd
// (short date format), dddddd (long date format), m mm (month; minutes right after an h or hh),
// mmm mmmm (short and long month name), yy yyyy (year), h hh (hour), n nn (minute), s ss
// (second), z zzz (milliseconds), am/pm a/p ampm (12-hour clock and its marker), c (short date,
// and the long time unless the time is 00:00:00), t tt (short and long time format), "/" and ":"
// (the regional separators); text in quotes is copied without them, any other character as it
// stands. An empty format is "c".
QString FormatDateTime(const QString& format, TDateTime value,
                       const FormatSettings& fs = regional());
QString DateToStr(TDateTime value, const FormatSettings& fs = regional());     // "ddddd"
QString TimeToStr(TDateTime value, const FormatSettings& fs = regional());     // "tt"
QString DateTimeToStr(TDateTime value, const FormatSettings& fs = regional()); // "c"

// Read in the order of the short date format (day, month, year) with the regional date
// separator; blanks may surround each part. A year of one or two digits is in 2000..2099. The
// year may not be left out (it would need today's date). Failure raises EConvertError
// "'<text>' is not a valid date".
TDateTime StrToDate(const QString& text, const FormatSettings& fs = regional());
bool TryStrToDate(const QString& text, TDateTime& value, const FormatSettings& fs = regional());
// "h:n[:s[.z]]" with the regional time separator, optionally followed by the AM or PM string
// (any case). Failure raises EConvertError "'<text>' is not a valid time".
TDateTime StrToTime(const QString& text, const FormatSettings& fs = regional());
bool TryStrToTime(const QString& text, TDateTime& value, const FormatSettings& fs = regional());
// A date, optionally followed by a time, or a time alone. Failure raises EConvertError
// "'<text>' is not a valid date and time".
TDateTime StrToDateTime(const QString& text, const FormatSettings& fs = regional());
bool TryStrToDateTime(const QString& text, TDateTime& value, const FormatSettings& fs = regional());
