// The decoders of line-oriented analyser output, on hand-written files (the printouts in
// tests/data/fuzz/decoders, which also seed the decoders' fuzz target, and small files written
// here), with the lists worked out by hand.
#include <analysers/devcatalogue.h>
#include <analysers/resultdecoders.h>
#include <platform/exception.h>

#include <support/workspace.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct Lists
{
    QStringList header, results, legend;
};

using Decoder = void (*)(const QString&, QStringList&, QStringList&, QStringList*);

void urilux(const QString& file, QStringList& h, QStringList& r, QStringList* l)
{
    ViewUriluxFile(file, h, r, l, UriluxTemplate(), mdUrilux, 3);
}

void trombotimer(const QString& file, QStringList& h, QStringList& r, QStringList* l)
{
    ViewTrombotimerFile(file, h, r, l);
}

class LineDecoders : public ::testing::Test
{
protected:
    TestWorkspace ws;

    static QString fixture(const char* name)
    {
        return QStringLiteral(QUORVANE_TEST_DATA "/fuzz/decoders/") + QLatin1String(name);
    }
    static Lists decode(Decoder decoder, const QString& file)
    {
        Lists l;
        decoder(file, l.header, l.results, &l.legend);
        return l;
    }
    Lists decodeBytes(Decoder decoder, const QByteArray& bytes)
    {
        const QString file = ws.path(u"1a.4"_s);
        writeFileBytes(file, bytes);
        return decode(decoder, file);
    }
};

TEST_F(LineDecoders, Urilux)
{
    const Lists l = decode(urilux, fixture("urilux"));
    EXPECT_EQ(l.header, (QStringList{u"Title=URILUX-S URINALYSIS"_s, u"Code=0012345"_s,
                                     u"SeqNo=17"_s, u"Date=12/03/2004"_s, u"Time=10:15"_s}));
    EXPECT_EQ(l.results,
              (QStringList{u"SG=1.020\tг/см^3"_s, u"pH=6.0"_s, u"LEU=neg"_s, u"NIT=neg"_s,
                           u"PRO=0.3\tг/л"_s, u"GLU=5.5\tммоль/л"_s, u"KET=neg"_s, u"UBG=norm"_s,
                           u"BIL=neg"_s, u"ERY=10\tв мкл"_s}))
        << "XYZ is not a URILUX code; the later Pat.ID: changes nothing";
    EXPECT_EQ(l.legend.first(), u"SG=Плотность"_s);
    EXPECT_EQ(l.legend.size(), 10);

    // A first line unlike the label is the title all the same; a found code without a value
    // gives no line but ends the header part (its legend line stays); CR alone ends lines, LF
    // is dropped anywhere; the legend is not cleared.
    Lists more;
    more.legend = QStringList{u"old=kept"_s};
    writeFileBytes(ws.path(u"u.4"_s), "Some other title\r\n  GLU\r\nPat.ID: 5\r\n  N\nIT  neg");
    urilux(ws.path(u"u.4"_s), more.header, more.results, &more.legend);
    EXPECT_EQ(more.header, QStringList{u"Title=Some other title"_s});
    EXPECT_EQ(more.results, QStringList{u"NIT=neg"_s});
    EXPECT_EQ(more.legend, (QStringList{u"old=kept"_s, u"GLU=Глюкоза"_s, u"NIT=Нитриты"_s}));

    // The label branch removes as many characters as the template's value has (";Pat.ID:"),
    // and the result phase sees what is left. A line keeps 255 bytes.
    const Lists label = decodeBytes(urilux, "x\rPat.ID:GLU 5.5\r" + QByteArray(300, 'T'));
    EXPECT_EQ(label.header, (QStringList{u"Title=x"_s, u"Code=LU 5.5"_s}));
    EXPECT_EQ(label.results, QStringList{});
    EXPECT_EQ(decodeBytes(urilux, QByteArray(300, 'T')).header,
              QStringList{u"Title="_s + QString(255, u'T')});
}

TEST_F(LineDecoders, UriluxResultColumnAndTemplateLines)
{
    Lists l;
    writeFileBytes(ws.path(u"c.4"_s), "abcdefghij\rGLU 7 x\r");
    ViewUriluxFile(ws.path(u"c.4"_s), l.header, l.results, nullptr,
                   {u"A=1,3,4"_s, u"B=1,9"_s, u"C=1,20"_s, u"D=2,0,2;ignored"_s}, mdUrilux, 1);
    EXPECT_EQ(l.header, (QStringList{u"A=cdef"_s, u"B=ij"_s, u"C="_s, u"D=GL"_s}));
    EXPECT_EQ(l.results, QStringList{u"GLU=7\tммоль/л"_s});
}

TEST_F(LineDecoders, Trombotimer)
{
    Lists l;
    EXPECT_TRUE(ViewTrombotimerFile(fixture("trombotimer"), l.header, l.results, &l.legend));
    EXPECT_EQ(l.header, (QStringList{u"Date=12.03.04"_s, u"SeqNo=17"_s}));
    EXPECT_EQ(l.results,
              (QStringList{u"TIME_CH1=12.5\tc"_s, u"INR_CH1=1.10"_s, u"TIME_CH2=13.0\tc"_s,
                           u"INR_CH2=1.20"_s, u"TIME1_CH12=12.5\tc"_s, u"TIME1_CH12=13.1\tc"_s,
                           u"AVERAGE_CH12=12.8\tc"_s}))
        << "the Time line before any channel adds nothing";
    EXPECT_EQ(l.legend.at(4), u"TIME1_CH12=Time1 (Chanel 1+2)"_s);
    EXPECT_EQ(l.legend.at(5), u"TIME1_CH12=Time2 (Chanel 1+2)"_s);

    // "Channel 1" alone is the name "Channel" and the value "1": no channel, but the header
    // part is over.
    l = {};
    writeFileBytes(ws.path(u"t.4"_s), "Channel 1\nDate 1.1\nTime 12.5s\n");
    EXPECT_TRUE(ViewTrombotimerFile(ws.path(u"t.4"_s), l.header, l.results, nullptr));
    EXPECT_TRUE(l.header.isEmpty());
    EXPECT_TRUE(l.results.isEmpty());
    // The channel is taken from the name before the last blank; the next lines keep it.
    l = {};
    writeFileBytes(ws.path(u"t.4"_s), "Channel 1+2 :\r\nTime 2 13.1s\r\nINR 1.0\r\nDate x\r\n");
    EXPECT_TRUE(ViewTrombotimerFile(ws.path(u"t.4"_s), l.header, l.results, nullptr));
    EXPECT_EQ(l.results, QStringList{u"TIME1_CH12=13.1\tc"_s});
    EXPECT_TRUE(l.header.isEmpty());
    l = {};
    writeFileBytes(ws.path(u"t.4"_s), "Date 1.1\rTime 12.5s\r");
    EXPECT_FALSE(ViewTrombotimerFile(ws.path(u"t.4"_s), l.header, l.results, nullptr));
    EXPECT_EQ(l.header, QStringList{u"Date=1.1"_s});
}

TEST_F(LineDecoders, AutionMini)
{
    const Lists l = decode(ViewAutionMiniFile, fixture("autionmini"));
    EXPECT_EQ(l.header, (QStringList{u"Date=2004/03/12"_s, u"Code=123"_s, u"Time=10:15"_s,
                                     u"Temp=25C"_s, u"TestStrip=AX-4280"_s}));
    EXPECT_EQ(l.results,
              (QStringList{u"GLU=НОРМА"_s, u"PRO=0.3 (+-)\tг/л\tпревышение нормы"_s,
                           u"BIL=ОТРИЦ."_s, u"URO=3.2 (NORMAL)\tмкмоль/л"_s, u"PH=6.0\t"_s,
                           u"SG=1.020\t"_s, u"BLD=10 (+)\tмг/л"_s, u"KET=единичн."_s,
                           u"NIT=ОТРИЦ."_s, u"LEU=75 (+)\tЛейк/мл"_s}))
        << "TURB and COLOR are not shown, XYZ is unknown";
    EXPECT_EQ(l.legend.size(), 10);
    EXPECT_EQ(l.legend.at(4), u"PH=pH"_s);

    // A code of a visible row on a line of two items is an error; what came before stays.
    // An empty line is skipped; a first item of neither D, N nor T is the test strip; a code
    // that is not five characters long stays whole.
    Lists cut;
    writeFileBytes(ws.path(u"a.4"_s),
                   "N0012,x,\"T 1\"\r\n\r\nBIL,-,,\r\nGLU,NORMAL,\r\nNIT,-,,\r\n");
    EXPECT_EQ(messageOf<EStringListError>(
                  [&] { ViewAutionMiniFile(ws.path(u"a.4"_s), cut.header, cut.results, nullptr); }),
              u"List index out of bounds (2): line 4 of \"%1\" has too few items"_s.arg(
                  ws.path(u"a.4"_s)));
    EXPECT_EQ(cut.header, (QStringList{u"Code=0012"_s, u"TestStrip=x"_s, u"Time= 1"_s}));
    EXPECT_EQ(cut.results, QStringList{u"BIL=ОТРИЦ."_s});
}

TEST_F(LineDecoders, Rft)
{
    Lists l = decode(ViewRftFile, fixture("rft"));
    EXPECT_EQ(l.header, (QStringList{u"Date=12.03.04"_s, u"Time=10:15"_s, u"Code=0012345"_s}));
    EXPECT_EQ(l.results, QStringList{u"GGT=45.2\tU/l\tNormal range\t8-61"_s});
    EXPECT_EQ(l.legend, QStringList{u"GGT=Гаммаглутаминтрансфераза"_s});

    // "+" ends the code and announces a temperature after the unit: "K" is not an RFT code.
    l = decode(ViewRftFile, fixture("rft_temperature"));
    EXPECT_EQ(l.header.last(), u"Temp=37C"_s);
    EXPECT_EQ(l.results, QStringList{u"K=4.5\tmmol/l\t"_s});
    EXPECT_EQ(l.legend, QStringList{u"K=???"_s});

    const auto line4 = [this](const QByteArray& result, const QByteArray& notes = "") {
        return decodeBytes(ViewRftFile, "R\r\nd,t\r\nc\r\n" + result + "\r\n" + notes);
    };
    // After the blank one more character is skipped.
    EXPECT_EQ(line4("GGT 45.2 U/l").results, QStringList{u"GGT=5.2\tU/l\t"_s});
    EXPECT_EQ(line4("GLU-5.5 mmol/l", "\r\n  note 2 ").results,
              QStringList{u"GLU=5.5\tmmol/l\t\tnote 2"_s});
    EXPECT_EQ(line4("GLU  5.5", "n5\r\nn6").results, QStringList{u"GLU=\t\tn5\tn6"_s});
    EXPECT_EQ(line4("XYZ  1 u").legend, QStringList{u"XYZ=???"_s});
    for (const QByteArray& none : {QByteArray(" GGT 1 u"), QByteArray("GGT"), QByteArray()}) {
        const Lists empty = line4(none);
        EXPECT_TRUE(empty.results.isEmpty()) << none.toStdString();
        EXPECT_EQ(empty.header.size(), 3);
    }
    // A line 2 of fewer than two items is an error, with nothing added yet.
    Lists bad;
    writeFileBytes(ws.path(u"r.4"_s), "R\r\nonly\r\nc\r\nGGT  1 u\r\n");
    EXPECT_THROW(ViewRftFile(ws.path(u"r.4"_s), bad.header, bad.results, &bad.legend),
                 EStringListError);
    EXPECT_TRUE(bad.header.isEmpty() && bad.results.isEmpty());
}

TEST_F(LineDecoders, Abx)
{
    const Lists l = decode(ViewAbxFile, fixture("abx"));
    EXPECT_EQ(l.header, (QStringList{u"AnNum=0123"_s, u"SeqNo=42"_s, u"SmplMode=1"_s, u"Code=789"_s,
                                     u"Name=DUPONT JEAN"_s, u"AnType=P60"_s, u"Date=12/03/2004"_s,
                                     u"Time=10:15:30"_s}));
    EXPECT_EQ(
        l.results,
        (QStringList{u"WBC=7.50\t*10^3/mcl\t\t"_s, u"LYC#=2.10\t*10^3/mcl\t\tвыше нормы"_s,
                     u"LYC%=28.00\t%\t\t"_s, u"HGB=0.50\tg/dl\tSuspicious parameter value\t"_s,
                     u"PLT=250\t*10^3/mcl\t\t"_s,
                     u"RDW=12.30\t%\t\tЗначение вне допустимого диапазона"_s,
                     u"PDW=16.00\t%\tParameter rejected for a counting default\tниже нормы"_s}))
        << "--.-- gives no line, Z is no tag, the line after the empty one is not read";
    EXPECT_EQ(l.legend.at(2), u"LYC%=Лимфоциты, %"_s);

    EXPECT_TRUE(decodeBytes(ViewAbxFile, "ABX\r\n\r\n! 07.50\r\n").results.isEmpty());
    // Short lines: no byte beyond the data is read; a year that is no number gives no date.
    const Lists shortLines = decodeBytes(ViewAbxFile, "\rq 1\rs 0000\ru\r3 \r3 1\r");
    EXPECT_EQ(shortLines.header, (QStringList{u"Time=::"_s, u"SeqNo=0"_s, u"Code="_s}));
    EXPECT_EQ(shortLines.results, QStringList{u"HGB=1\tg/dl\t\t"_s});
}

TEST_F(LineDecoders, Starrsed)
{
    const Lists l = decode(ViewStarrsedFile, fixture("starrsed"));
    EXPECT_EQ(l.header, (QStringList{u"Code=12345"_s, u"CarPos=7"_s, u"Duration=60"_s, u"Temp=18"_s,
                                     u"SampleErr=NO ERROR"_s}));
    EXPECT_EQ(l.results, (QStringList{u"Sedi=12"_s, u"Corr=10"_s, u"Aspect=CLEAR"_s,
                                      u"Manual aspect=xy"_s, u"EDTA=E1"_s}));
    EXPECT_TRUE(l.legend.isEmpty());

    EXPECT_EQ(decodeBytes(ViewStarrsedFile, "12345 abc\r\n").header, QStringList{u"Code=12345"_s});
    EXPECT_TRUE(decodeBytes(ViewStarrsedFile, "12345 abc\r\n").results.isEmpty());
    // A word ending at 15 with no blank before it starts at the line's start; position 15
    // holding a blank gives none.
    EXPECT_EQ(decodeBytes(ViewStarrsedFile, "123456789012345").results,
              QStringList{u"Sedi=123456789012345"_s});
    EXPECT_TRUE(decodeBytes(ViewStarrsedFile, "1           12 ").results.isEmpty());
    EXPECT_TRUE(decodeBytes(ViewStarrsedFile, "").header.isEmpty());
}

TEST_F(LineDecoders, Hitachi)
{
    Lists l = decode(ViewHitachi911File, fixture("hitachi911"));
    EXPECT_EQ(l.header, (QStringList{u"SampleType=Routine sample"_s, u"SampleClass=1"_s,
                                     u"SampleNo=00012"_s, u"PatID=123"_s, u"0=4"_s, u"Name=À"_s}));
    EXPECT_EQ(l.results, (QStringList{u"GLU=5.5"_s, u"LDH=210"_s, u"BIL-I=7"_s}))
        << "test 50 is not a 911 test";
    EXPECT_EQ(l.legend, (QStringList{u"GLU=Глюкоза"_s, u"LDH=Лактатдегидрогеназа"_s,
                                     u"BIL-I=Билирубин непрямой"_s}));

    l = decode(ViewHitachi912File, fixture("hitachi912"));
    EXPECT_EQ(l.results, (QStringList{u"=7"_s, u"IGG=1.2"_s}));
    EXPECT_EQ(l.legend, (QStringList{u"="_s, u"IGG=Иммуноглобулин G"_s}));

    // Each line end; a 300-byte line keeps 255 bytes and the next line is whole.
    l = decodeBytes(ViewHitachi911File,
                    "A=1\r\nB=2\nC=3\rD=4\r\n" + QByteArray(300, 'x') + "\r\n1=5.5");
    EXPECT_EQ(l.header, (QStringList{u"A=1"_s, u"B=2"_s, u"C=3"_s, u"D=4"_s, QString(255, u'x')}));
    EXPECT_EQ(l.results, QStringList{u"GLU=5.5"_s});
}

TEST_F(LineDecoders, TextsAreReadInTheProgramsCodePage)
{
    for (const auto& [cp, expected] :
         {std::pair{codepage::Cp1251, u"Name=А"_s}, {codepage::Cp1252, u"Name=À"_s}}) {
        const CodePageScope scope(cp);
        EXPECT_EQ(decodeBytes(ViewHitachi912File, "Name=\xc0").header, QStringList{expected});
    }
}

TEST_F(LineDecoders, AFileThatCannotBeReadRaisesNamingIt)
{
    const QString missing = ws.path(u"missing.4"_s);
    for (const Decoder decoder : {urilux, trombotimer, ViewAutionMiniFile, ViewRftFile, ViewAbxFile,
                                  ViewStarrsedFile, ViewHitachi911File, ViewHitachi912File}) {
        Lists l;
        l.header = QStringList{u"kept"_s};
        EXPECT_TRUE(messageOf<EInOutError>([&] {
                        decoder(missing, l.header, l.results, &l.legend);
                    }).contains(missing));
    }
}

} // namespace
