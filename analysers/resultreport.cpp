// The driver-based result report: the table of report drivers by device code and the layout of a
// filled result holder.
#include "resultreport.h"

#include <analysers/miditron.h>
#include <platform/support/globals.h>

#include <QHash>

namespace {

QHash<QString, TDriverClass>& reportDrivers()
{
    static QHash<QString, TDriverClass> drivers{
        {QStringLiteral("MDT"), DriverClassOf<TMiditronDriver>()},
    };
    return drivers;
}

QString padded(const QString& text, int width)
{
    return text.size() >= width ? text : text + QString(width - text.size(), QLatin1Char(' '));
}

QString rightTrimmed(QString text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    text.truncate(end);
    return text;
}

QString value(const MemDataSet& table, const char* field)
{
    return table.fieldByName(QLatin1String(field))->asString();
}

} // namespace

void RegisterReportDriver(const QString& DeviceCode, const TDriverClass& DriverClass)
{
    reportDrivers().insert(DeviceCode, DriverClass);
}

QStringList ResultReportLines(TResInfo& ResInfo)
{
    QStringList lines;
    MemDataSet& header = ResInfo.Header();
    MemDataSet& results = ResInfo.Results();
    QString previous;
    bool first = true;
    for (header.first(); !header.eof(); header.next()) {
        const QString name = value(header, "NAME");
        const QString label = first || name != previous ? padded(name + QLatin1Char(':'), 37)
                                                        : QString(37, QLatin1Char(' '));
        lines << label + value(header, "VAL");
        previous = name;
        first = false;
    }
    lines << QString() << QString();
    lines << (ProgLanguage == 2
                  ? QStringLiteral("  №   Код           Параметр                                  "
                                   "             Значение")
                  : QStringLiteral("  #   Code          Parameter                                 "
                                   "             Value"));
    lines << QString(89, QLatin1Char('-'));
    int n = 0;
    for (results.first(); !results.eof(); results.next()) {
        const QString code = value(results, "CODE");
        const QString label = value(results, "LABEL");
        const QString val = value(results, "VAL");
        const QString shown = val.isEmpty() ? QStringLiteral("<--->")
                                            : val + QLatin1Char(' ') + value(results, "UNIT");
        lines << rightTrimmed(QStringLiteral("  ") + padded(QString::number(++n), 2) +
                              QStringLiteral("  ") + padded(code, 12) + QStringLiteral("  ") +
                              padded(label.isEmpty() ? code : label, 53) + QStringLiteral("  ") +
                              padded(shown, 14) + QStringLiteral("  ") + value(results, "STATE"));
    }
    return lines;
}

void ViewDriverResultFile(const QString& DeviceCode, const QString& FileName, QStringList& Lines)
{
    Lines.clear();
    TResInfo holder;
    const auto it = reportDrivers().constFind(DeviceCode);
    if (it != reportDrivers().cend()) {
        const std::unique_ptr<TDriver> driver = it.value()();
        driver->LoadFromFile(FileName);
        driver->GetResults(holder);
    }
    Lines = ResultReportLines(holder);
}
