// Look-ups in the device parameter catalogue and the scaling of values by its factors.
#include "devcatalogue.h"

#include <platform/regional.h>

#include <QLocale>

#include <algorithm>

const TMDevDataRow* FindMDevData(int Device, int Number)
{
    const auto row = std::find_if(MDEVDATA.begin(), MDEVDATA.end(), [&](const TMDevDataRow& r) {
        return r.MDEV_ID == Device && r.NUMBER == Number;
    });
    return row == MDEVDATA.end() ? nullptr : &*row;
}

const TMDevDataRow* FindMDevDataCode(int Device, QStringView Code)
{
    const auto row = std::find_if(MDEVDATA.begin(), MDEVDATA.end(), [&](const TMDevDataRow& r) {
        return r.MDEV_ID == Device && r.CODE == Code;
    });
    return row == MDEVDATA.end() ? nullptr : &*row;
}

QList<const TMDevDataRow*> MDevDataRows(int Device)
{
    QList<const TMDevDataRow*> rows;
    for (const TMDevDataRow& r : MDEVDATA)
        if (r.MDEV_ID == Device)
            rows.append(&r);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto* a, const auto* b) { return a->NUMBER < b->NUMBER; });
    return rows;
}

namespace {

// The number a value text holds, in the C form ("-12.5"), or an empty text when it is none.
QString numberText(const QString& value)
{
    qsizetype from = 0, to = value.size();
    while (from < to && value.at(from).unicode() <= ' ')
        ++from;
    while (to > from && value.at(to - 1).unicode() <= ' ')
        --to;
    QString number;
    bool digit = false, point = false;
    for (qsizetype i = from; i < to; ++i) {
        const QChar c = value.at(i);
        if (c == u'-' && i == from) {
            number += c;
        } else if (c >= u'0' && c <= u'9') {
            number += c;
            digit = true;
        } else if ((c == u'.' || c == u',') && !point) {
            number += u'.';
            point = true;
        } else {
            return {};
        }
    }
    return digit ? number : QString();
}

} // namespace

TScaledValue ScaleValue(const QString& Value, double Scale)
{
    if (Scale == 1)
        return {Value, true};
    const QString number = numberText(Value);
    bool ok = false;
    const double read = number.isEmpty() ? 0 : QLocale::c().toDouble(number, &ok);
    if (!ok)
        return {Value, false};
    return {FloatToStr(read * Scale), true};
}

QStringList UriluxTemplate()
{
    QStringList lines;
    for (const QStringView line : UriluxTemplateLines)
        lines.append(line.toString());
    return lines;
}
