// BFA result files written by hand as the analyser frames them, and the windows-1251 reports they
// must give, byte for byte; merging per patient and cup, cut-off streams, the letters of the
// ISO 8859-5 block, and failures that must lose nothing.
#include <app/sources/bfareport.h>

#include <platform/clock.h>
#include <platform/exception.h>
#include <platform/fileops.h>

#include "bfa_frames.h"

#include <support/qt_printers.h>
#include <support/workspace.h>

#include <QDir>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bfa;

namespace {

const QStringList LabHeading = {
    sp(20) + u"Клинико-диагностическая лаборатория"_s,
    sp(21) + u"Биохимический отдел"_s,
    sp(20) + u"Почтовый адрес: не указан"_s,
    sp(19) + u"Телефон/факс: не указан"_s,
};

class BFAReportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        clock::setFixed(QDateTime(QDate(2024, 3, 5), QTime(9, 7, 3, 640)));
    }
    void TearDown() override
    {
        fileops::resetFaults();
        clock::reset();
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString put(const QByteArray& bytes, const QString& name = u"RESULTS.BFA"_s) const
    {
        writeFileBytes(path(name), bytes);
        return path(name);
    }
    QByteArray read(const QString& name) const { return readFileBytes(path(name)); }

    // The report's lines as the viewer's memo holds them.
    QStringList lines(int i) const
    {
        QString text = QStringDecoder("windows-1251").decode(read(u"~bfa%1.tmp"_s.arg(i)));
        EXPECT_TRUE(text.endsWith(u"\r\n"_s));
        text.chop(2);
        return text.split(u"\r\n"_s);
    }

    // The test codes of a report's result lines (the layout of those lines is checked above).
    QStringList codes(int i) const
    {
        QStringList out;
        for (const QString& line : lines(i).mid(18))
            out << line.mid(4, 16).trimmed();
        return out;
    }

    // Everything in the folder, hidden files too.
    QStringList entries() const
    {
        return QDir(m_dir.path())
            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir m_dir;
};

QByteArray ivanova()
{
    return STX + field("RECV_RSLTS", "1") + field("REQ", "123") + field("rCUP", "7") +
           field("rPRIO", "STAT") + field("iPNAME", iso(u"Иванова Анна"_s)) +
           field("iPID", "4711") + field("AGE", "45") + field("SEX", "F") +
           result("Gluc", "5.4", "mmol/L", "H") + result("ALT", "31", "U/L") + EOT;
}

// A record of one patient and cup with one result, the rest of the fields left out.
QByteArray sample(const QByteArray& name, const QByteArray& cup, const QByteArray& code,
                  const QByteArray& value, const QByteArray& request = {})
{
    QByteArray r = STX + field("iPNAME", name) + field("rCUP", cup);
    if (!request.isEmpty())
        r += field("REQ", request);
    return r + result(code, value, "u") + EOT;
}

} // namespace

TEST_F(BFAReportTest, WritesTheReportByteForByteAndDeletesTheInput)
{
    const QString input = put(ivanova());

    const QList<BFAReport> reports = ReadBFAFile(input);

    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(read(u"~bfa1.tmp"_s),
              reportBytes(u"05-Мар-2024  09:07:03"_s, LabHeading, u"СРОЧНО"_s,
                          u"Пациент: Иванова Анна"_s + sp(29) + u" Код: 4711"_s,
                          u"Номер пробирки: 7"_s + sp(4) + u"Номер запроса: 123"_s + sp(6) +
                              u"Возр: 45"_s + sp(8) + u"Пол: F"_s,
                          {u"    Gluc"_s + sp(12) + u"5.4 mmol/L"_s + sp(9) + u"H"_s,
                           u"    ALT"_s + sp(13) + u"31 U/L"_s + sp(13)}));
    EXPECT_EQ(entries(), QStringList{u"~bfa1.tmp"_s}) << "the input is consumed";

    EXPECT_EQ(reports[0].fileName, path(u"~bfa1.tmp"_s));
    EXPECT_EQ(reports[0].patientName, u"Иванова Анна"_s);
    EXPECT_EQ(reports[0].patientId, u"4711"_s);
    EXPECT_EQ(reports[0].date, QDate(2024, 3, 5));
    EXPECT_EQ(reports[0].time, QTime(9, 7, 3)) << "the time the report shows, in whole seconds";
}

TEST_F(BFAReportTest, LettersOfTheWholeCyrillicBlockAndEveryByteOfTheUpperHalfConvert)
{
    // Ё, ё and № lie outside the block А..я that is merely shifted by 0x10; the report's date
    // names December.
    clock::setFixed(QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59)));
    const QString input = put(STX + field("iPNAME", iso(u"Семёнов Пётр"_s)) +
                              result("Chol", "5.2", "mmol/L", iso(u"проба №2, ЁМКОСТЬ"_s)) + EOT);
    ASSERT_EQ(ReadBFAFile(input).value(0).patientName, u"Семёнов Пётр"_s);
    EXPECT_EQ(lines(1)[0].right(21), u"31-Дек-2023  23:59:59"_s);
    EXPECT_EQ(lines(1)[18],
              u"    Chol"_s + sp(12) + u"5.2 mmol/L"_s + sp(9) + u"проба №2, ЁМКОСТЬ"_s);

    // Every byte of 0x80..0xFF as the codecs say: the identifier is written whole on line 9, so it
    // carries every byte of 0x80..0xFF.
    QByteArray all;
    for (int b = 0x80; b <= 0xFF; ++b)
        all += char(b);
    put(STX + field("iPID", all) + EOT);

    ReadBFAFile(path(u"RESULTS.BFA"_s));

    QByteArray expected;
    // The C1 controls of ISO 8859-5 are no text; in 1251 those bytes would be letters.
    expected += QByteArray(0x20, '?');
    QStringDecoder fromIso("ISO-8859-5");
    for (int b = 0xA0; b <= 0xFF; ++b) {
        const QString letter = fromIso.decode(QByteArray(1, char(b)));
        ASSERT_EQ(letter.size(), 1);
        expected += cp1251(letter);
    }
    ASSERT_EQ(expected.size(), 0x80);

    const QByteArray report = read(u"~bfa1.tmp"_s);
    const QByteArray marker = cp1251(u" Код: "_s);
    const qsizetype at = report.indexOf(marker);
    ASSERT_GE(at, 0);
    EXPECT_EQ(report.mid(at + marker.size(), 0x80), expected);
}

TEST_F(BFAReportTest, RecordsOfOnePatientAndCupInARowMakeOneReport)
{
    const QString input = put(sample("PETROV", "1", "Gluc", "5.0", "10") +
                              sample("PETROV", "1", "Chol", "4.2", "11") + // same patient, cup
                              sample("PETROV", "2", "TP", "70") +          // another cup
                              sample("SIDOROV", "2", "Alb", "40") +        // another patient
                              sample("SIDOROV", "2", "UA", "300") +
                              sample("PETROV", "1", "Fe", "18")); // not next to the first

    const QList<BFAReport> reports = ReadBFAFile(input);

    ASSERT_EQ(reports.size(), 4);
    EXPECT_EQ(entries(),
              (QStringList{u"~bfa1.tmp"_s, u"~bfa2.tmp"_s, u"~bfa3.tmp"_s, u"~bfa4.tmp"_s}));
    const QStringList names = {u"PETROV"_s, u"PETROV"_s, u"SIDOROV"_s, u"PETROV"_s};
    const QList<QStringList> results = {
        {u"Gluc"_s, u"Chol"_s}, {u"TP"_s}, {u"Alb"_s, u"UA"_s}, {u"Fe"_s}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(reports[i].fileName, path(u"~bfa%1.tmp"_s.arg(i + 1)));
        EXPECT_EQ(reports[i].patientName, names[i]);
        EXPECT_EQ(codes(i + 1), results[i]) << i + 1;
    }
    // The merged report keeps the fields of the first record of its run.
    EXPECT_EQ(lines(1)[9], u"Номер пробирки: 1"_s + sp(4) + u"Номер запроса: 10"_s + sp(7) +
                               u"Возр: "_s + sp(10) + u"Пол: "_s);
    EXPECT_EQ(lines(1)[19], u"    Chol"_s + sp(12) + u"4.2 u"_s + sp(14));

    // A first record without patient or cup is reported too: compared with the empty record
    // before it, it would look like the same patient and cup and vanish with it.
    put(STX + field("REQ", "5") + result("K", "4.1", "mmol/L") + EOT +
        sample("PETROV", "1", "Na", "140") + STX + result("Ca", "2.3", "mmol/L") + EOT);
    ASSERT_EQ(ReadBFAFile(path(u"RESULTS.BFA"_s)).size(), 3);
    EXPECT_EQ(codes(1) + codes(2) + codes(3), (QStringList{u"K"_s, u"Na"_s, u"Ca"_s}));
    EXPECT_EQ(lines(1)[9].mid(21, 16), u"Номер запроса: 5"_s);
}

TEST_F(BFAReportTest, ALastRecordWithoutItsEndMarkIsStillReported)
{
    // The stream stops in the middle of a result: the completed fields are reported, the cut
    // value ("5." of something) is not.
    const QString input = put(sample("PETROV", "1", "Gluc", "5.0") + STX +
                              field("iPNAME", "ORLOV") + field("rCUP", "3") + field("iPID", "77") +
                              result("Gluc", "6.1", "mmol/L") + "TS=Chol" + GS + "5.");

    const QList<BFAReport> reports = ReadBFAFile(input);

    ASSERT_EQ(reports.size(), 2);
    EXPECT_EQ(reports[1].patientName, u"ORLOV"_s);
    EXPECT_EQ(reports[1].patientId, u"77"_s);
    EXPECT_EQ(lines(2).mid(18), QStringList{u"    Gluc"_s + sp(12) + u"6.1 mmol/L"_s + sp(9)});
    EXPECT_FALSE(QFile::exists(input));

    // A further sample of the same patient and cup, cut off before its end mark: its results join
    // that patient's report.
    put(sample("ORLOV", "3", "Gluc", "6.1") + STX + field("iPNAME", "ORLOV") + field("rCUP", "3") +
        result("TP", "66", "g/L"));
    ASSERT_EQ(ReadBFAFile(path(u"RESULTS.BFA"_s)).size(), 1);
    EXPECT_EQ(codes(1), (QStringList{u"Gluc"_s, u"TP"_s}));
}

TEST_F(BFAReportTest, FieldsAreCutOrPaddedResultsAreNeverCutAndNoiseIsDropped)
{
    QByteArray stream = QByteArray("\x17") + STX;
    stream += field("iPNAME", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwx");
    stream += field("rCUP", "12") + field("REQUEST", "1234567890AB"); // a request by its start
    stream += field("SEX", "F") + field("AGE", "45 years and 3 months");
    stream += field("XFOO\x1DiPID", "99"); // unknown: dropped up to its FS, labels and all
    stream += result("VERYLONGTESTCODE17", "5.4", "mmol/L", "H");
    stream += result("Gluc", "123456789.123", "mmol/L", "HH");
    // Empty sub-fields are skipped, also a first one; a result may come without its code.
    stream += QByteArray("TS=Alb") + GS + GS + "40" + GS + "g/L" + FS;
    stream += QByteArray("TS=") + GS + "1" + GS + "u" + FS;
    stream += field("rPRIO", "ROUTINE") + EOT;

    const QList<BFAReport> reports = ReadBFAFile(put(stream));

    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports[0].patientId, QString());
    QStringList report = lines(1);
    EXPECT_EQ(report[7], QString()) << "only STAT is urgent";
    EXPECT_EQ(report[8], u"Пациент: ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmno Код: "_s);
    EXPECT_EQ(report[9], u"Номер пробирки: 12   Номер запроса: 123456789Возр: 45 years aПол: F"_s);
    EXPECT_EQ(report.mid(18), (QStringList{u"    VERYLONGTESTCODE17 5.4 mmol/L"_s + sp(9) + u"H"_s,
                                           u"    Gluc"_s + sp(12) + u"123456789.123 mmol/L HH"_s,
                                           u"    Alb"_s + sp(13) + u"40 g/L"_s + sp(13),
                                           sp(20) + u"1 u"_s + sp(16)}));

    // RS and ETB are no text.
    put(STX + field("iPNAME", QByteArray("A") + '\x1E' + "B" + '\x17' + "C") + EOT);
    EXPECT_EQ(ReadBFAFile(path(u"RESULTS.BFA"_s)).value(0).patientName, u"ABC"_s);

    // A file without any record still gives one report, with empty fields.
    ASSERT_EQ(ReadBFAFile(put(QByteArray())).size(), 1);
    report = lines(1);
    ASSERT_EQ(report.size(), 18);
    EXPECT_EQ(report[8], u"Пациент: "_s + sp(41) + u" Код: "_s);
    EXPECT_EQ(report[9], u"Номер пробирки: "_s + sp(5) + u"Номер запроса: "_s + sp(9) +
                             u"Возр: "_s + sp(10) + u"Пол: "_s);
}

TEST_F(BFAReportTest, AFailureKeepsTheInputAndLeavesNoReportAndBadInputsAreRefused)
{
    const QByteArray bytes = sample("A", "1", "Gluc", "5.0") + sample("B", "1", "Gluc", "6.0") +
                             sample("C", "1", "Gluc", "7.0");
    const QString input = put(bytes);

    // The second report cannot be written.
    fileops::failNth(fileops::Op::Write, 2, ENOSPC);
    const QString message = messageOf<EInOutError>([&] { ReadBFAFile(input); });
    EXPECT_TRUE(message.contains(u"the disk is full"_s)) << message.toStdString();
    EXPECT_EQ(entries(), QStringList{u"RESULTS.BFA"_s}) << "no report of the first try is left";
    EXPECT_EQ(read(u"RESULTS.BFA"_s), bytes);

    // Every report is written, but the input cannot be deleted: taking it again later must not
    // give its reports twice.
    fileops::failNth(fileops::Op::Remove, 1, EACCES);
    EXPECT_THROW(ReadBFAFile(input), EInOutError);
    EXPECT_EQ(entries(), QStringList{u"RESULTS.BFA"_s});
    EXPECT_EQ(read(u"RESULTS.BFA"_s), bytes);

    // A later try converts the file as if nothing had happened.
    EXPECT_EQ(ReadBFAFile(input).size(), 3);
    EXPECT_EQ(entries(), (QStringList{u"~bfa1.tmp"_s, u"~bfa2.tmp"_s, u"~bfa3.tmp"_s}));

    // Refused: a missing file, a folder, and a report, which its own conversion would overwrite.
    EXPECT_THROW(ReadBFAFile(path(u"MISSING.BFA"_s)), EInOutError);
    EXPECT_THROW(ReadBFAFile(m_dir.path()), EInOutError) << "a folder";
    const QByteArray report = read(u"~bfa1.tmp"_s);
    EXPECT_THROW(ReadBFAFile(path(u"~bfa1.tmp"_s)), EInOutError);
    EXPECT_EQ(read(u"~bfa1.tmp"_s), report);
    EXPECT_EQ(entries().size(), 3);
}
