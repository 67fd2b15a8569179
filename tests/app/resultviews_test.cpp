// The decoded analyser results as the document viewer shows them: one small serial document per
// device code, its report worked out by hand.
#include "localtables_fixture.h"

#include <app/documents/memoform.h>
#include <app/documents/viewer.h>
#include <platform/support/globals.h>

#include <support/scoped_dialogs.h>

#include <QPlainTextEdit>
#include <QScopeGuard>

#include <utility>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString Heading =
    u"  №   Код           Параметр                                               Значение"_s;

QString blanks(int n)
{
    return QString(n, u' ');
}

// A report line: the columns of 2, 12, 53 and 14 characters, two blanks apart.
QString row(int n, const QString& code, const QString& name, const QString& valueUnit,
            const QString& flag)
{
    return u"  "_s + QString::number(n) + blanks(2 - int(QString::number(n).size())) + u"  "_s +
           code + blanks(12 - int(code.size())) + u"  "_s + name + blanks(53 - int(name.size())) +
           u"  "_s + valueUnit + blanks(14 - int(valueUnit.size())) + u"  "_s + flag;
}

QStringList frame(QStringList header, const QStringList& rows)
{
    header << QString() << QString() << Heading << QString(89, u'-');
    return header + rows;
}

TEST(ResultViews, EachDecodedDeviceCodeShowsItsReport)
{
    LocalTablesFixture f;
    ScopedScriptedDialogs dialogs;
    const struct
    {
        const char* code;
        QByteArray file;
        QStringList report;
    } documents[] = {
        {"ULX", "URILUX-S URINALYSIS\r\nPat.ID: 77\r\n  GLU   5.5  mmol/l\r\n",
         frame({u"URILUX-S URINALYSIS"_s, u"Код:         77"_s},
               {row(1, u"GLU"_s, u"Глюкоза"_s, u"5.5 ммоль/л"_s, {})})},
        {"TBT", "Date 12.03.04\r\nResult 17\r\nChannel 1 :\r\nTime 12.5s\r\n",
         frame({u"Дата:        12.03.04"_s, u"Номер:       17"_s},
               {row(1, u"TIME_CH1"_s, u"Time (Chanel 1)"_s, u"12.5 c"_s, {})})},
        {"AUM", "D2004/03/12,N00123,TEMP25C\r\nPRO,+-,0.3,,H\r\n",
         frame({u"Код:         123"_s, u"Дата:        2004/03/12"_s, u"Темп.:       25C"_s},
               {row(1, u"PRO"_s, u"Белок"_s, u"0.3 (+-) г/л"_s, u"превышение нормы"_s)})},
        {"RFT", "REFLOTRON\r\n12.03.04,10:15\r\n0012345\r\nGGT  45.2 U/l\r\nNormal\r\n",
         frame({u"Код:         0012345"_s, u"Дата:        12.03.04"_s, u"Время:       10:15"_s},
               {row(1, u"GGT"_s, u"Гаммаглутаминтрансфераза"_s, u"45.2 U/l"_s, u"Normal"_s)})},
        {"ABX", "ABX\r\nu 0789\r\nv DUPONT\r\n3 00.50S\r\n",
         frame(
             {u"Пациент:     DUPONT"_s, u"Код:         789"_s},
             {row(1, u"HGB"_s, u"Гемоглобин"_s, u"0.50 g/dl"_s, u"Suspicious parameter value"_s)})},
        {"SRS", "12345        12\r\n",
         frame({u"Код:         12345"_s}, {row(1, u"Sedi"_s, u"Sedi"_s, u"12 "_s, {})})},
        {"ALB",
         "\x02"
         "DUPONT  " +
             QByteArray("0012345").leftJustified(30) + "01   5.55;",
         frame({u"Пациент:     DUPONT"_s, u"Код:         0012345"_s},
               {row(1, u"GLU"_s, u"Глюкоза"_s, u"5.55 ммоль/л"_s, {})})},
        {"SMX",
         "D1U"
         "040312"
         "00"
         "00000000042"
         "0000000"
         "01231" +
             QByteArray("*0000").repeated(17),
         frame({u"Код:         42"_s, u"Дата:        12/03/2004"_s},
               {row(1, u"WBC"_s, u"Лейкоциты"_s, u"12.3 *10^9/л"_s, u"выше нормы"_s)})},
        {"ADV", testData(u"fuzz/decoders/advia"_s),
         frame({u"Пациент:     DUPONT"_s, u"№ ЭМК:       0012345"_s, u"Код:         A1"_s,
                u"Дата:        12/03/2004"_s, u"Время:       22:15:30"_s, u"Номер:       0017"_s},
               {row(1, u"WBC"_s, u"Лейкоциты"_s, u"6.5 "_s, {}),
                row(2, u"NEUT N"_s, u"Нейтрофиллы (сегментоядерные)"_s, u"3.9 "_s, {}),
                row(3, u"LYM P"_s, u"Лимфоциты"_s, u"27.7 "_s, {}),
                row(4, u"RBC"_s, u"Эритроциты"_s, u"***** "_s, {}),
                row(5, u"Hgb"_s, u"Гемоглобин"_s, u"142 "_s, {}),
                row(6, u"Hct"_s, u"Гематокрит"_s, u"42.0 "_s, {}),
                row(7, u"Plt"_s, u"Тромбоциты"_s, u"250 "_s, {})})},
        {"MXM", testData(u"fuzz/decoders/maxm_1_block.mxm"_s),
         frame({u"Код:         0012345"_s, u"Дата:        12/03/04"_s, u"Время:       10:15"_s,
                u"Номер:       17"_s},
               {row(1, u"WBC"_s, u"Лейкоциты"_s, u"6.5 *10^9/л"_s, {}),
                row(2, u"RBC"_s, u"Эритроциты"_s, u"4.52 *10^12/л"_s, {}),
                row(3, u"HGB"_s, u"Гемоглобин"_s, u"142.45 г/л"_s, {})})},
        {"911", "PatID=123\r\n1=5.5\r\n",
         frame({u"№ ЭМК:       123"_s}, {row(1, u"GLU"_s, u"Глюкоза"_s, u"5.5 "_s, {})})},
        {"912", "20=7\r\n33=1.2\r\n",
         frame({}, {row(1, {}, {}, u"7 "_s, {}),
                    row(2, u"IGG"_s, u"Иммуноглобулин G"_s, u"1.2 "_s, {})})},
    };
    int number = 0;
    for (const auto& d : documents) {
        ++number;
        SCOPED_TRACE(d.code);
        f.addSource(number, 4, false, false, 0, QLatin1String(d.code));
        f.tables->files->appendRecord({number, 0, QString(), number, {}, {}, 0, 1, 0});
        writeFileBytes(BufDir + QString::number(number, 16) + u".4"_s, d.file);
        QStringList shown;
        dialogs.answerModal(u"TMemoForm"_s, [&shown](TForm& form) {
            shown = static_cast<TMemoForm&>(form).Text->toPlainText().split(u'\n');
            return int(mrCancel);
        });
        ViewDocument(number);
        EXPECT_EQ(shown, d.report);
    }
}

} // namespace

// A stored Miditron sample is shown as its driver's report, in English as the French program
// shows it (the Russian program's report is the analysers suite's).
TEST(ResultViews, AStoredMiditronDocumentShowsItsDriversReport)
{
    const unsigned char language = std::exchange(ProgLanguage, 1);
    const auto back = qScopeGuard([language] { ProgLanguage = language; });
    LocalTablesFixture f;
    ScopedScriptedDialogs dialogs;
    f.addSource(1, 4, false, false, 0, u"MDT"_s);
    f.tables->files->appendRecord({1, 0, QString(), 1, {}, {}, 0, 1, 0});
    writeFileBytes(BufDir + u"1.4"_s, testData(u"analysers/miditron_sample_1.4"_s));
    QStringList shown;
    dialogs.answerModal(u"TMemoForm"_s, [&shown](TForm& form) {
        shown = static_cast<TMemoForm&>(form).Text->toPlainText().split(u'\n');
        return int(mrCancel);
    });
    ViewDocument(1);
    EXPECT_EQ(
        shown,
        (QStringList{
            u"Pat-ID:"_s + blanks(30) + u"12345678"_s,
            u"Seq.-NO.:"_s + blanks(28) + u"00017"_s,
            u"Date:"_s + blanks(32) + u"06.12.26"_s,
            u"Time:"_s + blanks(32) + u"22:10"_s,
            QString(),
            QString(),
            u"  #   Code          Parameter                                              Value"_s,
            QString(89, u'-'),
            u"  1   SG"_s + blanks(12) + u"Плотность"_s + blanks(46) + u"1.015 г/см^3"_s,
            u"  2   PH"_s + blanks(12) + u"pH"_s + blanks(53) + u"6.0"_s,
            u"  3   LEU"_s + blanks(11) + u"Лейкоциты"_s + blanks(46) + u"NEG"_s,
            u"  4   NIT"_s + blanks(11) + u"Нитриты"_s + blanks(48) + u"NEG"_s,
            u"  5   PRO"_s + blanks(11) + u"Белок"_s + blanks(50) + u"0.25 г/л"_s + blanks(8) +
                u"*"_s,
            u"  6   GLU"_s + blanks(11) + u"Глюкоза"_s + blanks(48) + u"NEG"_s,
            u"  7   KET"_s + blanks(11) + u"Кетоны"_s + blanks(49) + u"NEG"_s,
            u"  8   UBG"_s + blanks(11) + u"Уробилиноген"_s + blanks(43) + u"norm"_s,
            u"  9   BIL"_s + blanks(11) + u"Билирубин"_s + blanks(46) + u"NEG"_s,
            u"  10  ERY"_s + blanks(11) + u"Эритроциты"_s + blanks(45) + u"50 в мкл"_s + blanks(8) +
                u"*"_s,
            u"  11  COLOR"_s + blanks(9) + u"Цвет"_s + blanks(51) + u"YELLOW"_s,
            u"  12  CLEARITY"_s + blanks(6) + u"Прозрачность"_s + blanks(43) + u"CLEAR"_s,
        }));
}
