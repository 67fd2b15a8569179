// Field presentation: the formats, masks and text conversions the access component gives the
// fields of a cache (TDBAccess::SetupFields) by their kernel type, and the reading of typed dates
// and times.
#pragma once

#include <QString>

// The formats fields are given, process-wide. "/" and ":" in them stand for the regional date
// and time separators; "mm" after "hh" is minutes.
struct TFieldFormats
{
    QString MoneyDisplay = QStringLiteral("# ### ##0.00;;# ### ##");
    QString MoneyEdit = QStringLiteral("######0.00;;");
    QString RateDisplay = QStringLiteral("# ### ##0.00;-# ### ##0.00;# ### ##");
    QString RateEdit = QStringLiteral("######0.00;;");
    QString ExchangeRateDisplay = QStringLiteral("# ### ##0.000000;;#");
    QString ExchangeRateEdit = QStringLiteral("#.######;;#");
    QString DateDisplay = QStringLiteral("dd/mm/yyyy");
    QString DateEditMask = QStringLiteral("!99/99/99;1;_");
    QString TimeEditMask = QStringLiteral("!99:99;1;_");
    QString TimeDisplay = QStringLiteral("hh:mm");
    // A two-digit year read as 2021 or later is taken 100 years back, one read as 1900 to 1919
    // 100 years on.
    int TwoDigitYearWindow = 20;
};

// The settings in force (main thread only).
TFieldFormats& FieldFormats();

// A typed date (and time) written as the program shows it: "dd/mm/yyyy", or "dd/mm/yyyy hh:mm"
// when the time is not midnight, with the regional separators. A text of nothing but date
// separators, blanks and ":" (an untouched mask) gives an empty text; a text that cannot be read
// as a date comes back unchanged. Two-digit years: "05" is 2005, "45" is 1945; "29/02/00" is
// 29 February 2000. Hours above 24 and minutes above 60 count as 0.
QString NormalizeDateText(const QString& text);
