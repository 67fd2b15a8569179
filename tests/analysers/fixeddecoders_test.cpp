// The decoders of fixed-layout results (AUTOLAB, Sysmex KX-21, Advia 70, Max-M Coulter) and the
// rewrite of a received Max-M file, on the files tests/data/fixedlayout.py builds from the
// layouts (they also seed the decoders' fuzz target) and on small files written here; the lists
// are worked out by hand.
#include <analysers/maxmfile.h>
#include <analysers/resultdecoders.h>
#include <platform/exception.h>
#include <platform/fileops.h>

#include <support/sanitizers.h>
#include <support/workspace.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct Lists
{
    QStringList header, results, legend;
};

using Decoder = void (*)(const QString&, QStringList&, QStringList&, QStringList*);

class FixedDecoders : public ::testing::Test
{
protected:
    TestWorkspace ws;

    static QString fixture(const QString& name)
    {
        return QStringLiteral(QUORVANE_TEST_DATA "/") + name;
    }
    static QString seed(const char* name)
    {
        return fixture(u"fuzz/decoders/"_s + QLatin1String(name));
    }

    QString write(const QByteArray& bytes)
    {
        const QString file = ws.path(u"1a.4"_s);
        writeFileBytes(file, bytes);
        return file;
    }
    // Decodes into `l` (whose lists may hold lines already), keeping what was added when the
    // decoder raises; returns the message of an EConvertError or EInOutError, empty when none.
    static QString decode(Decoder decoder, const QString& file, Lists& l)
    {
        try {
            decoder(file, l.header, l.results, &l.legend);
        } catch (const EConvertError& e) {
            return u"EConvertError: "_s + e.message();
        } catch (const EInOutError& e) {
            return u"EInOutError: "_s + e.message();
        }
        return {};
    }
};

// ---- AUTOLAB

TEST_F(FixedDecoders, Autolab)
{
    // Records 01, 17 and 02 and five stray bytes; the legend is not cleared.
    Lists l;
    l.legend = QStringList{u"old=kept"_s};
    EXPECT_EQ(decode(ViewAutolabFile, seed("autolab"), l), QString());
    EXPECT_EQ(l.header, (QStringList{u"Name=DUPONT"_s, u"Code=0012345"_s}));
    EXPECT_EQ(l.results, (QStringList{u"GLU=5.55\tммоль/л"_s, u"BUN=6.1\tммоль/л"_s}))
        << "17 (HB) is not visible";
    EXPECT_EQ(l.legend, (QStringList{u"old=kept"_s, u"GLU=Глюкоза"_s, u"BUN=Мочевина"_s}));

    // CK has no unit but keeps its tab; the invisible HDL of 22 gives nothing, the visible one of
    // 30 its line and its name.
    l = {};
    EXPECT_EQ(decode(ViewAutolabFile, seed("autolab_ck_hdl"), l), QString());
    EXPECT_EQ(l.header, (QStringList{u"Name="_s, u"Code=77"_s}));
    EXPECT_EQ(l.results, (QStringList{u"CK=123\t"_s, u"HDL=1.25\tммоль/л"_s}));
    EXPECT_EQ(l.legend, (QStringList{u"CK=Креатинфосфокиназа"_s, u"HDL=Холестерин ЛПВП"_s}));
}

TEST_F(FixedDecoders, AutolabSizesAndABadNumber)
{
    const QByteArray head = "\x02"
                            "NAME    " +
                            QByteArray("CODE").leftJustified(30, ' ');
    const QByteArray glu = "01   5.55;";
    Lists l;
    EXPECT_TRUE(decode(ViewAutolabFile, write(head.left(38)), l).startsWith(u"EInOutError"_s));
    EXPECT_TRUE(l.header.isEmpty());
    for (const QByteArray& file : {head, head + "01   5.55"}) { // 39 and 48 bytes
        l = {};
        EXPECT_EQ(decode(ViewAutolabFile, write(file), l), QString());
        EXPECT_EQ(l.header, (QStringList{u"Name=NAME"_s, u"Code=CODE"_s}));
        EXPECT_TRUE(l.results.isEmpty());
    }
    l = {};
    EXPECT_EQ(decode(ViewAutolabFile, write(head + glu + "02    6.1"), l), QString()); // 58
    EXPECT_EQ(l.results, QStringList{u"GLU=5.55\tммоль/л"_s});

    l = {};
    EXPECT_EQ(decode(ViewAutolabFile, write(head + glu + "1x    6.1;" + glu), l),
              u"EConvertError: '1x' is not a valid integer value (parameter number of record 2 "
              "of \"%1\")"_s.arg(ws.path(u"1a.4"_s)));
    EXPECT_EQ(l.results, QStringList{u"GLU=5.55\tммоль/л"_s}) << "what came before stays";
    l = {};
    EXPECT_FALSE(decode(ViewAutolabFile, write(head + "$1   5.55;"), l).isEmpty())
        << "a number field is decimal";
}

// ---- Sysmex KX-21

TEST_F(FixedDecoders, Sysmex)
{
    Lists l;
    EXPECT_EQ(decode(ViewSysmexFile, seed("sysmex"), l), QString());
    EXPECT_EQ(l.header, (QStringList{u"Date=12/03/2004"_s, u"Code=12345"_s}));
    EXPECT_EQ(l.results, (QStringList{
                             u"WBC=12.3\t*10^9/л\tнорма"_s,
                             u"RBC=4.52\t*10^12/л\tвыше нормы"_s,
                             u"HGB=142\tг/л\tнорма"_s,
                             u"MCV=89.0\tфл\t?"_s,
                             u"MCH=29.6\tпг/клетку\tниже нормы"_s,
                             u"MCHC=330\tг/л\tнорма"_s,
                             u"PLT=250\t*10^9/л\tнорма"_s,
                             u"RDW=13.1\t%\t"_s,
                             u"MPV=9.5\tфл\tнорма"_s,
                         }))
        << "HCT is \"*\"; LYM%, MXD%, NEUT%, the counts, PDW and P-LCR are not visible";
    EXPECT_EQ(l.legend.size(), 9);
    EXPECT_EQ(l.legend.at(4), u"MCH=Среднее объёмное содержание гемоглобина в эритроците"_s);

    // Cut at 60 characters: the seventh field has only its first character in the line.
    const QByteArray line = readFileBytes(seed("sysmex"));
    l = {};
    EXPECT_EQ(decode(ViewSysmexFile, write(line.left(60)), l), QString());
    EXPECT_EQ(l.results.size(), 5);
    EXPECT_TRUE(l.results.last().startsWith(u"MCH="_s));
}

// One parameter's field in a line whose other fields carry nothing.
QByteArray sysmexLine(int number, const QByteArray& field, const QByteArray& date = "040312")
{
    QByteArray line = "D1U" + date + "00" + "00000000007" + "0000000";
    for (int n = 1; n <= 18; ++n)
        line += n == number ? field : QByteArray("*0000");
    return line + "\r\n";
}

TEST_F(FixedDecoders, SysmexFields)
{
    const struct
    {
        int number;
        const char* field;
        QString result; // empty: no line
    } cases[] = {
        {1, "01230", u"WBC=12.3\t*10^9/л\tнорма"_s},
        {1, "01231", u"WBC=12.3\t*10^9/л\tвыше нормы"_s},
        {1, "01234", u"WBC=12.3\t*10^9/л\t?"_s},
        {1, "00050", u"WBC=.5\t*10^9/л\tнорма"_s},
        {1, "*0000", {}},
        {2, "04521", u"RBC=4.52\t*10^12/л\tвыше нормы"_s},
        {3, "01420", u"HGB=142\tг/л\tнорма"_s},
        {3, " 1420", u"HGB=142\tг/л\tнорма"_s},
        {3, "0A120", u"HGB=A1.2\t\tнорма"_s}, // not read: no unit
        {8, "02500", u"PLT=250\t*10^9/л\tнорма"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        Lists l;
        EXPECT_EQ(decode(ViewSysmexFile, write(sysmexLine(c.number, c.field)), l), QString());
        EXPECT_EQ(l.results, c.result.isEmpty() ? QStringList() : QStringList{c.result});
        EXPECT_EQ(l.header.value(1), u"Code=7"_s);
    }
}

TEST_F(FixedDecoders, SysmexDates)
{
    Lists l;
    EXPECT_EQ(decode(ViewSysmexFile, write(sysmexLine(1, "*0000", "800229")), l), QString());
    EXPECT_EQ(l.header.value(0), u"Date=29/02/2080"_s);
    EXPECT_EQ(decode(ViewSysmexFile, write(sysmexLine(1, "*0000", "810101")), l), QString());
    EXPECT_EQ(l.header.value(0), u"Date=01/01/1981"_s);
    {
        TestWorkspace russian(2);
        EXPECT_EQ(decode(ViewSysmexFile, write(sysmexLine(1, "*0000", "810101")), l), QString());
        EXPECT_EQ(l.header.value(0), u"Date=01.01.1981"_s) << "the regional short date format";
    }
    for (const QByteArray date : {"041312", "810229", "04 312"}) {
        SCOPED_TRACE(date.constData());
        l = {};
        EXPECT_TRUE(decode(ViewSysmexFile, write(sysmexLine(1, "01230", date)), l)
                        .startsWith(u"EConvertError: '"_s + QLatin1String(date) + u"' is not"_s));
        EXPECT_TRUE(l.results.isEmpty());
    }
}

// ---- Advia 70

TEST_F(FixedDecoders, Advia)
{
    Lists l;
    l.legend = QStringList{u"old=gone"_s};
    EXPECT_EQ(decode(ViewAdviaFile, seed("advia"), l), QString());
    EXPECT_EQ(l.header, (QStringList{u"Code=A1"_s, u"SeqNo=0017"_s, u"PatID=0012345"_s,
                                     u"Name=DUPONT"_s, u"Date=12/03/2004"_s, u"Time=22:15:30"_s}))
        << "a field ends at its zero byte: FName is empty";
    EXPECT_EQ(l.results, (QStringList{u"WBC=6.5"_s, u"NEUT N=3.9"_s, u"LYM P=27.7"_s,
                                      u"RBC=*****"_s, u"Hgb=142"_s, u"Hct=42.0"_s, u"Plt=250"_s}))
        << "MCHC and MPV are not visible, PDW is blank, the raw values are never shown";
    EXPECT_EQ(l.legend, (QStringList{u"WBC=Лейкоциты"_s, u"NEUT N=Нейтрофиллы (сегментоядерные)"_s,
                                     u"LYM P=Лимфоциты"_s, u"RBC=Эритроциты"_s, u"Hgb=Гемоглобин"_s,
                                     u"Hct=Гематокрит"_s, u"Plt=Тромбоциты"_s}));

    const QByteArray record = readFileBytes(seed("advia"));
    l = {};
    EXPECT_TRUE(decode(ViewAdviaFile, write(record.left(453)), l).startsWith(u"EInOutError"_s));
    EXPECT_TRUE(l.header.isEmpty());

    // Times: seconds optional, AM and PM read; an empty or bad one raises before the results.
    const struct
    {
        QByteArray time;
        QString shown; // empty: raises
    } times[] = {
        {"10:15:30 AM", u"10:15:30"_s},
        {"12:05 AM", u"00:05:00"_s},
        {"7:05", u"07:05:00"_s},
        {"", {}},
        {"25:00:00", {}},
        {"10h15", {}},
    };
    for (const auto& t : times) {
        SCOPED_TRACE(t.time.constData());
        QByteArray changed = record;
        changed.replace(142, 11, t.time.leftJustified(11, '\0'));
        l = {};
        const QString error = decode(ViewAdviaFile, write(changed), l);
        if (t.shown.isEmpty()) {
            EXPECT_TRUE(error.startsWith(u"EConvertError: '"_s + QLatin1String(t.time) +
                                         u"' is not a valid time"_s))
                << error.toStdString();
            EXPECT_EQ(l.header.size(), 5);
            EXPECT_TRUE(l.results.isEmpty());
        } else {
            EXPECT_EQ(error, QString());
            EXPECT_EQ(l.header.value(5), u"Time="_s + t.shown);
        }
    }
}

// ---- Max-M Coulter

TEST_F(FixedDecoders, MaxM)
{
    const QStringList header{u"Date=12/03/04"_s, u"Time=10:15"_s, u"Code=0012345"_s, u"SeqNo=17"_s,
                             u"CASS/POS=3/5"_s};
    const QStringList results{u"WBC=6.5\t*10^9/л"_s, u"RBC=4.52\t*10^12/л"_s, u"HGB=142.45\tг/л"_s};
    const QStringList legend{u"WBC=Лейкоциты"_s, u"RBC=Эритроциты"_s, u"HGB=Гемоглобин"_s};
    // One block, and the same content over twelve: "12" counts twelve blocks.
    for (const char* name : {"maxm_1_block.mxm", "maxm_12_blocks.mxm"}) {
        SCOPED_TRACE(name);
        Lists l;
        EXPECT_TRUE(ViewMaxMFile(seed(name), l.header, l.results, &l.legend));
        EXPECT_EQ(l.header, header);
        EXPECT_EQ(l.results, results) << "XYZ is no code of the device";
        EXPECT_EQ(l.legend, legend);
    }

    const QByteArray file = readFileBytes(seed("maxm_1_block.mxm"));
    const qsizetype tailAt = file.lastIndexOf("\r\n\r\n--------------\r\n");
    const qsizetype group2At = file.indexOf("\x11"
                                            "04\r\nWBC") +
                               1;
    ASSERT_GT(tailAt, 0);
    ASSERT_GT(group2At, 0);
    const struct
    {
        const char* what;
        qsizetype at;
        QByteArray bytes;
        bool header, results;
    } damages[] = {
        {"count 0", 0, "00", false, false},
        {"a count that is no number", 0, "0x", false, false},
        {"a size of no whole number of blocks", 0, "05", false, false},
        {"a wrong head", 5, "X", false, false},
        {"a wrong tail", tailAt + 6, "=", true, true},
        {"a group count that is no number", group2At, "0G", true, false},
        {"a group that runs past the data", group2At, "FF", true, false},
    };
    for (const auto& d : damages) {
        SCOPED_TRACE(d.what);
        QByteArray changed = file;
        changed.replace(d.at, d.bytes.size(), d.bytes);
        Lists l;
        EXPECT_FALSE(ViewMaxMFile(write(changed), l.header, l.results, &l.legend));
        EXPECT_EQ(l.header, d.header ? header : QStringList());
        EXPECT_EQ(l.results, d.results ? results : QStringList());
    }
}

// ---- the rewrite

bool sameBytes(const QString& a, const QString& b)
{
    return QFile::exists(a) && QFile::exists(b) && readFileBytes(a) == readFileBytes(b);
}

TEST_F(FixedDecoders, RestructureRewritesReceivedBlocksIntoTheStoredLayout)
{
    const struct
    {
        const char* received;
        const char* stored;
    } cases[] = {
        {"maxm_received_2x200.mxm", "maxm_stored_2x256.mxm"},         // DC1s written
        {"maxm_received_2x200_dc1.mxm", "maxm_stored_2x256_dc1.mxm"}, // DC1s passed over
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.received);
        const QString file = ws.path(u"r.mxm"_s);
        writeFileBytes(file, readFileBytes(seed(c.received)));
        ASSERT_EQ(readFileBytes(file).size(), 418);
        EXPECT_TRUE(RestructureRecordFile(file));
        EXPECT_EQ(readFileBytes(file).size(), 530);
        EXPECT_TRUE(sameBytes(file, fixture(u"analysers/"_s + QLatin1String(c.stored))));
        Lists l;
        EXPECT_TRUE(ViewMaxMFile(file, l.header, l.results, &l.legend));
        EXPECT_EQ(l.header.size(), 3);
        EXPECT_EQ(l.results.size(), 22);
        // Once stored, a second rewrite leaves it.
        EXPECT_FALSE(RestructureRecordFile(file));
        EXPECT_TRUE(sameBytes(file, fixture(u"analysers/"_s + QLatin1String(c.stored))));
    }
    EXPECT_TRUE(ws.operationsLog().isEmpty());
    EXPECT_EQ(QDir(ws.root()).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "no temporary file left";
}

TEST_F(FixedDecoders, RestructureLeavesStoredFilesAndFailuresAsTheyWere)
{
    const struct
    {
        const char* file;
        const char* logged; // the reason; nullptr: nothing to log
        bool failWrite = false;
    } cases[] = {
        {"maxm_9_blocks.mxm", nullptr},
        {"maxm_10_blocks.mxm", nullptr},
        {"maxm_12_blocks.mxm", nullptr},
        {"maxm_blocks_of_128.mxm", nullptr},
        {"maxm_received_count_03.mxm", "3 blocks announced, 2 found whole"},
        {"maxm_received_too_long.mxm",
         "its content of 590 bytes does not fit into 2 blocks of 256 bytes"},
        {"maxm_received_2x200.mxm", "cannot write", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString file = ws.path(u"r.mxm"_s);
        QFile::remove(ws.root() + u"QUORVANE.LOG"_s);
        writeFileBytes(file, readFileBytes(seed(c.file)));
        if (c.failWrite)
            fileops::failNth(fileops::Op::Write, 1);
        EXPECT_FALSE(RestructureRecordFile(file));
        fileops::resetFaults();
        EXPECT_TRUE(sameBytes(file, seed(c.file)));
        const QByteArray log = ws.operationsLog();
        if (!c.logged) {
            EXPECT_TRUE(log.isEmpty()) << log.constData();
            continue;
        }
        EXPECT_TRUE(log.startsWith("Proc. CorrectMaxM: \"" + file.toUtf8() + "\": "))
            << log.constData();
        EXPECT_TRUE(log.contains(c.logged)) << log.constData();
        EXPECT_TRUE(log.endsWith("; the file is kept as received\r\n")) << log.constData();
        EXPECT_EQ(log.count('\n'), 1);
    }
    // An unreadable file is logged, never raised.
    EXPECT_FALSE(RestructureRecordFile(ws.path(u"missing.mxm"_s)));
    EXPECT_TRUE(ws.operationsLog().startsWith("Proc. CorrectMaxM: "));
}

// The committed binary files are what the script builds.
TEST_F(FixedDecoders, TheFixtureScriptWritesTheCommittedFiles)
{
    SKIP_CHILD_PROCESS_UNDER_THREAD_SANITIZER();
    QProcess script;
    script.start(u"/usr/bin/python3"_s, {fixture(u"fixedlayout.py"_s), ws.path(u"data"_s)});
    ASSERT_TRUE(script.waitForFinished(60000));
    ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().constData();
    const QStringList written =
        QString::fromUtf8(script.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(written.size(), 16);
    for (const QString& name : written)
        EXPECT_TRUE(sameBytes(ws.path(u"data/"_s + name), fixture(name)))
            << "run tests/data/fixedlayout.py and commit its output: " << name.toStdString();
}

} // namespace
