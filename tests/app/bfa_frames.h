// BFA result streams written by hand as the analyser frames them (ISO 8859-5 text), and the
// windows-1251 reports they must give, laid out line by line.
#pragma once

#include <platform/controlchars.h>

#include <QByteArray>
#include <QString>
#include <QStringEncoder>
#include <QStringList>

#include <gtest/gtest.h>

namespace bfa {

inline QByteArray field(const QByteArray& label, const QByteArray& value)
{
    return label + GS + value + FS;
}

inline QByteArray result(const QByteArray& code, const QByteArray& value, const QByteArray& unit,
                         const QByteArray& remark = {})
{
    return "TS=" + code + GS + value + GS + unit + GS + remark + FS;
}

// Text in a code page, through Qt's own codec.
inline QByteArray encode(const char* codec, const QString& text)
{
    QStringEncoder encoder(codec);
    const QByteArray bytes = encoder.encode(text);
    EXPECT_FALSE(encoder.hasError()) << text.toStdString();
    return bytes;
}
inline QByteArray iso(const QString& text)
{
    return encode("ISO-8859-5", text);
}
inline QByteArray cp1251(const QString& text)
{
    return encode("windows-1251", text);
}

inline QString sp(int n)
{
    return QString(n, u' ');
}

// A whole report: the title with the moment of the conversion, the four heading lines of the
// organisation, the urgency, patient and cup lines, the comment, six empty lines, the column
// heading and the result lines; every line in windows-1251 and ended by CR LF.
inline QByteArray reportBytes(const QString& when, const QStringList& heading,
                              const QString& urgent, const QString& patient, const QString& cup,
                              const QStringList& results)
{
    const QStringList lines =
        QStringList{QStringLiteral(u"Отчет по пациенту") + sp(41) + when, QString()} + heading +
        QStringList{QString(), urgent, patient, cup, QStringLiteral(u"Коммент.: ")} +
        QStringList(6) +
        QStringList{QStringLiteral(u"    Тест:           Результат          Замечания        "
                                   u"Низкий      Высокий")} +
        results;
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += cp1251(line) + "\r\n";
    return bytes;
}

} // namespace bfa
