// The device parameter catalogue as it was written down: rows per device, the telling rows
// column by column, look-ups, the mixed Latin and Cyrillic names, the scaling of values, and the
// generator that writes the tables.
#include <analysers/devcatalogue.h>
#include <platform/codepage.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <support/sanitizers.h>
#include <support/workspace.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(DevCatalogue, HoldsTheDevicesRowsInTheirOrder)
{
    struct
    {
        int device, rows, firstId, lastId;
    } const devices[] = {{11, 18, 1, 18},    {12, 10, 19, 28},   {10, 30, 29, 58},
                         {13, 7, 59, 65},    {14, 12, 66, 77},   {16, 14, 78, 91},
                         {17, 37, 92, 128},  {18, 22, 129, 150}, {19, 18, 151, 168},
                         {20, 52, 169, 220}, {21, 44, 221, 264}};
    int id = 0;
    for (const auto& d : devices) {
        SCOPED_TRACE(d.device);
        const QList<const TMDevDataRow*> rows = MDevDataRows(d.device);
        ASSERT_EQ(rows.size(), d.rows);
        for (const TMDevDataRow* row : rows)
            EXPECT_EQ(row->MDEVDATA_ID, ++id) << "catalogue order, by ascending number";
        EXPECT_EQ(rows.front()->MDEVDATA_ID, d.firstId);
        EXPECT_EQ(rows.back()->MDEVDATA_ID, d.lastId);
    }
    EXPECT_EQ(id, 264);
    for (const int empty : {22, 27, 29, 30})
        EXPECT_TRUE(MDevDataRows(empty).isEmpty());

    const std::pair<int, const char*> mdev[] = {
        {10, "AUTOLAB"},     {11, "Sysmex KX-21"}, {12, "URILUX"},        {13, "Trombotimer"},
        {14, "Aution MINI"}, {17, "Advia 70"},     {18, "Max-M Coulter"}, {19, "ABX, Advia 60"},
        {20, "Hitachi 911"}, {21, "Hitachi 912"},  {22, "pHOx"},          {27, "StaRRsed"},
        {29, "Konelab 20"},  {30, "ACL 2000"}};
    ASSERT_EQ(MDEV.size(), std::size(mdev));
    for (std::size_t i = 0; i < MDEV.size(); ++i) {
        EXPECT_EQ(MDEV[i].MDEV_ID, mdev[i].first);
        EXPECT_EQ(MDEV[i].NAME, QLatin1String(mdev[i].second));
    }
}

TEST(DevCatalogue, TellingRowsHaveEveryColumnAsWrittenDown)
{
    struct Row
    {
        int id, device, number;
        QString name, code;
        bool visible;
        double scale;
        QString dim;
    };
    const Row rows[] = {
        {1, 11, 1, u"Лейкоциты"_s, u"WBC"_s, true, 1, u"*10^9/л"_s},
        {3, 11, 3, u"Гемоглобин"_s, u"HGB"_s, true, 10, u"г/л"_s},
        {7, 11, 7, u"Средняя концентрация гемоглобина в эритроците"_s, u"MCHC"_s, true, 10,
         u"г/л"_s},
        {9, 11, 9, {}, u"LYM% (W-SCR)"_s, false, 1, {}},
        {45, 10, 17, u"???"_s, u"HB"_s, false, 1, {}},
        {56, 10, 28, u"???"_s, u"??1"_s, false, 1, {}},
        {59, 13, 1, u"Time (Chanel 1)"_s, u"TIME_CH1"_s, true, 1, u"c"_s},
        {61, 13, 3, u"INR (Chanel 1)"_s, u"INR_CH1"_s, true, 1, {}},
        {64, 13, 6, u"Time2 (Chanel 1+2)"_s, u"TIME1_CH12"_s, true, 1, u"c"_s},
        {77, 14, 12, u"Цвет"_s, u"COLOR"_s, false, 1, u"ммоль/л"_s},
        {88, 16, 11, u"Калий"_s, u"K+"_s, true, 1, u"ммоль/л"_s},
        {104, 17, 13, u"Гемоглобин"_s, u"Hgb"_s, true, 10, u"г/л"_s},
        {114, 17, 23, {}, u"RBC Raw Count"_s, false, 1, {}},
        {172, 20, 4, u"Мочевая кислота"_s, u"UA"_s, true, 1, u"mol/L"_s},
        {187, 20, 19, u"Креатинин"_s, u"CRE"_s, true, 1, u"<m>mol/L"_s},
        {201, 20, 33, {}, u"K"_s, true, 1, {}},
        {218, 20, 53, u"Билирубин непрямой"_s, u"BIL-I"_s, true, 1, {}},
        {219, 20, 54, u"Альб/глобулин"_s, u"A/G"_s, true, 1, {}},
        {220, 20, 55, u"Индекс атерогенности"_s, u"IA"_s, true, 1, {}},
        {240, 21, 20, {}, {}, false, 1, {}},
        {247, 21, 27, u"Холестерин липопротеидов низкой плотности"_s, u"LDLC2"_s, true, 1,
         u"LDL-C"_s},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        const TMDevDataRow& row = MDEVDATA.at(r.id - 1);
        EXPECT_EQ(row.MDEVDATA_ID, r.id);
        EXPECT_EQ(row.MDEV_ID, r.device);
        EXPECT_EQ(row.NUMBER, r.number);
        EXPECT_EQ(row.NAME, r.name);
        EXPECT_EQ(row.CODE, r.code);
        EXPECT_EQ(row.VISIBLE, r.visible);
        EXPECT_EQ(row.SCALE, r.scale);
        EXPECT_EQ(row.DIM_STR, r.dim);
    }
    const auto scaled = std::count_if(MDEVDATA.begin(), MDEVDATA.end(),
                                      [](const TMDevDataRow& r) { return r.SCALE != 1; });
    EXPECT_EQ(scaled, 3);
    EXPECT_EQ(MDEVDATA.at(58).DIM_STR.front(), u'c') << "the Latin letter";
}

TEST(DevCatalogue, LooksUpByNumberAndByExactCodeFirstRowFirst)
{
    for (const int absent : {50, 51, 52})
        EXPECT_EQ(FindMDevData(20, absent), nullptr) << absent;
    for (const int present : {53, 54, 55})
        EXPECT_NE(FindMDevData(20, present), nullptr) << present;
    const TMDevDataRow* empty = FindMDevData(21, 20);
    ASSERT_NE(empty, nullptr);
    EXPECT_FALSE(empty->VISIBLE);
    EXPECT_TRUE(empty->CODE.isEmpty());
    EXPECT_EQ(FindMDevDataCode(21, u""), empty);
    EXPECT_EQ(FindMDevData(13, 5)->CODE, u"TIME1_CH12");
    EXPECT_EQ(FindMDevData(13, 6)->CODE, u"TIME1_CH12");
    EXPECT_EQ(FindMDevDataCode(13, u"TIME1_CH12")->NUMBER, 5);
    EXPECT_EQ(FindMDevDataCode(10, u"HDL")->NUMBER, 22) << "the invisible one comes first";
    EXPECT_FALSE(FindMDevDataCode(10, u"HDL")->VISIBLE);
    EXPECT_EQ(FindMDevDataCode(17, u"Hgb")->SCALE, 10);
    EXPECT_EQ(FindMDevDataCode(17, u"HGB"), nullptr) << "case counts";
    EXPECT_EQ(FindMDevDataCode(17, u"RBC Raw"), nullptr) << "codes are compared whole";
    EXPECT_EQ(FindMDevDataCode(17, u"RBC Raw Count")->MDEVDATA_ID, 114);
    EXPECT_EQ(FindMDevDataCode(11, u"NEUT# (W-LCC)")->NUMBER, 14);
    const auto longCodes = std::count_if(MDEVDATA.begin(), MDEVDATA.end(),
                                         [](const TMDevDataRow& r) { return r.CODE.size() > 12; });
    EXPECT_EQ(longCodes, 12) << "stored whole";
    EXPECT_EQ(FindMDevDataCode(16, u"K"), nullptr);
    EXPECT_EQ(FindMDevData(99, 1), nullptr);
}

TEST(DevCatalogue, NamesMixLatinAndCyrillicOnlyWhereWrittenSoAndFitTheRussianCodePage)
{
    QStringList mixed;
    for (const TMDevDataRow& r : MDEVDATA) {
        const QString name = r.NAME.toString();
        const bool latin = std::any_of(name.begin(), name.end(), [](QChar c) {
            return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
        });
        const bool cyrillic = std::any_of(name.begin(), name.end(),
                                          [](QChar c) { return c >= u'\u0400' && c <= u'\u04FF'; });
        if (latin && cyrillic)
            mixed.append(name);
        for (const QStringView text : {r.NAME, r.CODE, r.DIM_STR})
            EXPECT_TRUE(codepage::canEncode(text.toString(), codepage::Cp1251)) << r.MDEVDATA_ID;
    }
    // The M and G, the C of the complements are Latin; the А of immunoglobulin A is Cyrillic.
    EXPECT_EQ(mixed, (QStringList{u"Иммуноглобулин M"_s, u"Иммуноглобулин G"_s,
                                  u"Комплемент (C3)"_s, u"Комплемент (C4)"_s}));
    EXPECT_EQ(FindMDevData(21, 31)->NAME.back(), u'\u0410');
    EXPECT_EQ(FindMDevData(21, 29)->NAME.front(), u'\u0421');
    for (const TMDevRow& d : MDEV)
        EXPECT_TRUE(codepage::canEncode(d.NAME.toString(), codepage::Cp1251));
}

TEST(DevCatalogue, ScaleValueMultipliesNumbersOnlyAndSaysWhetherItRead)
{
    const TMDevDataRow& hgb = *FindMDevData(11, 3);
    struct
    {
        QString value, expected;
        bool read;
    } const cases[] = {
        {u"14.2"_s, u"142"_s, true},     {u" 14.2"_s, u"142"_s, true},
        {u"14,2"_s, u"142"_s, true},     {u"14.2 "_s, u"142"_s, true},
        {u".5"_s, u"5"_s, true},         {u"5."_s, u"50"_s, true},
        {u"0.07"_s, u"0,7"_s, true},     {u"123456.7"_s, u"1234567"_s, true},
        {u"-1.5"_s, u"-15"_s, true},     {u"abc"_s, u"abc"_s, false},
        {u"*****"_s, u"*****"_s, false}, {u"-----"_s, u"-----"_s, false},
        {u"1.2.3"_s, u"1.2.3"_s, false}, {u"14.2a"_s, u"14.2a"_s, false},
        {u"1 4"_s, u"1 4"_s, false},     {u"-"_s, u"-"_s, false},
        {u"."_s, u"."_s, false},         {QString(), QString(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.toStdString());
        const TScaledValue v = ScaleValue(c.value, hgb.SCALE);
        EXPECT_EQ(v.Text, c.expected);
        EXPECT_EQ(v.Read, c.read);
    }
    for (const QString& any : {u"abc"_s, u" 1.5 "_s, QString()}) {
        const TScaledValue v = ScaleValue(any, FindMDevData(11, 1)->SCALE);
        EXPECT_EQ(v.Text, any);
        EXPECT_TRUE(v.Read);
    }
}

TEST(DevCatalogue, UriluxTemplateHasItsFiveLines)
{
    EXPECT_EQ(UriluxTemplate(),
              (QStringList{u"Title=1,1;URILUX-S URINALYSIS"_s, u"Code=;Pat.ID:"_s,
                           u"SeqNo=;Seq.No."_s, u"Date=7,1,10"_s, u"Time=7,20,5"_s}));
}

TEST(DevCatalogue, GeneratorWritesTheCommittedTablesAgain)
{
    SKIP_CHILD_PROCESS_UNDER_THREAD_SANITIZER();
    const QString root = QDir::cleanPath(QStringLiteral(QUORVANE_TEST_DATA "/../.."));
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    QProcess generator;
    generator.start(u"/usr/bin/python3"_s, {root + u"/tools/devcatalogue/generate.py"_s,
                                            u"--output"_s, out.filePath(u"rows.cpp"_s)});
    ASSERT_TRUE(generator.waitForFinished(60000));
    ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();
    EXPECT_EQ(readFileBytes(out.filePath(u"rows.cpp"_s)),
              readFileBytes(root + u"/analysers/devcatalogue_rows.cpp"_s))
        << "run tools/devcatalogue/generate.py and commit its output";
}

} // namespace
