// Automatic identification: the three report kinds read from hand-written report bytes, the
// tokenizer's edges, and whole documents identified against the local patients table (rows read
// back with the sqlite3 tool).
#include "localtables_fixture.h"

#include <app/autoident.h>
#include <app/docregistry.h>
#include <platform/db/localtable.h>
#include <platform/support/globals.h>

#include <gtest/gtest.h>

#include <optional>

namespace {

// Labels as the reports write them, blanks counted out.
const QByteArray NomLabel1 = "Nom" + QByteArray(13, ' ') + ":";
const QByteArray SexeLabel1 = "Sexe" + QByteArray(12, ' ') + ":";
const QByteArray PrenomLabel1 = "Pr\xE9nom" + QByteArray(10, ' ') + ":";
const QByteArray TailleLabel1 = "Taille" + QByteArray(10, ' ') + ":";

std::optional<QByteArray> field(const QList<QByteArray>& lines, int kind, const char* name)
{
    int row = 0;
    if (!FindMarkerRow(kind, QString::fromLatin1(name), row))
        return std::nullopt;
    const IdMarkerRow& m = IdMarker(row);
    QByteArray value;
    if (!FindField(lines, m.Position, m.Line, m.StartMarker, m.WordCount, m.EndMarker, value))
        return std::nullopt;
    return value;
}

std::optional<QByteArray> field(const QByteArray& text, int kind, const char* name)
{
    return field(SplitReportLines(text), kind, name);
}

QByteArray kind1Line(const QByteArray& label, const QByteArray& value, const QByteArray& next)
{
    return label + " " + value + QByteArray(10, ' ') + next + " X";
}

} // namespace

TEST(AutoIdentify, ReportKindsComeFromTheSourceExtension)
{
    // Whatever the case; a blank or another extension is no kind.
    const std::pair<const char*, int> kinds[] = {{"JAE", 1},  {"dyn", 2}, {"Br1", 3},
                                                 {"JAE ", 0}, {"PDF", 0}, {"", 0}};
    for (const auto& [extension, expected] : kinds) {
        int kind = 0;
        EXPECT_EQ(FindReportKind(extension, kind), expected != 0) << extension;
        EXPECT_EQ(kind, expected) << extension;
    }
}

TEST(AutoIdentify, Kind1NamesEndAtTheNextLabel)
{
    const QByteArray report = "COMPTE RENDU D'EXAMEN\r\n" +
                              kind1Line(NomLabel1, "DUPONT", SexeLabel1) + "\r\n" +
                              kind1Line(PrenomLabel1, "\xC9lodie", TailleLabel1) + "\r\n";
    EXPECT_EQ(field(report, 1, "Nom"), QByteArray("DUPONT"));
    EXPECT_EQ(field(report, 1, "Prenom"), QByteArray("\xC9lodie"));

    // Names of several words, with an apostrophe (a separator), or running into the label.
    EXPECT_EQ(field(kind1Line(NomLabel1, "LE GALL", SexeLabel1), 1, "Nom"), QByteArray("LE GALL"));
    EXPECT_EQ(field(kind1Line(NomLabel1, "D'ARC", SexeLabel1), 1, "Nom"), QByteArray("D ARC"));
    EXPECT_EQ(field(NomLabel1 + " DUPONT" + SexeLabel1 + " M", 1, "Nom"), QByteArray("DUPONT"));
    // At the end of the line, with no label after it.
    EXPECT_EQ(field(NomLabel1 + "   MARTIN  DURAND", 1, "Nom"), QByteArray("MARTIN DURAND"));

    // A label without a name is passed over for a later line that has one.
    const QByteArray twice = NomLabel1 + "          " + SexeLabel1 + "\n" + "autre ligne\n" +
                             kind1Line(NomLabel1, "BERNARD", SexeLabel1) + "\n";
    EXPECT_EQ(field(twice, 1, "Nom"), QByteArray("BERNARD"));
    // The label is matched on its bytes: one blank less, or the unaccented spelling, is no label.
    EXPECT_FALSE(field("Nom" + QByteArray(12, ' ') + ": DUPONT", 1, "Nom"));
    EXPECT_FALSE(field("Prenom" + QByteArray(10, ' ') + ": JEAN", 1, "Prenom"));
    EXPECT_FALSE(field(NomLabel1 + "   " + SexeLabel1 + " M", 1, "Nom"));
}

TEST(AutoIdentify, Kind2LabelsNeedTheirTab)
{
    const QByteArray report = "Rapport\r\nNom :\tMARTIN\tSexe :\tM\r\n"
                              "Pr\xE9nom :\tJean Luc\tTaille :\t180\r\n";
    EXPECT_EQ(field(report, 2, "Nom"), QByteArray("MARTIN"));
    EXPECT_EQ(field(report, 2, "Prenom"), QByteArray("Jean Luc"));
    // A blank where the tab should be is not the label.
    EXPECT_FALSE(field("Nom : MARTIN\tSexe :\tM", 2, "Nom"));
    EXPECT_FALSE(field("Pr\xE9nom :\t\tTaille :\t180", 2, "Prenom"));
}

TEST(AutoIdentify, Kind3NamesStandQuotedOnTheFirstLine)
{
    EXPECT_EQ(field("0  'DUPONT' 'JEAN'\r\n1 2 3\r\n", 3, "Nom"), QByteArray("DUPONT"));
    EXPECT_EQ(field("0  'DUPONT' 'JEAN'\r\n1 2 3\r\n", 3, "Prenom"), QByteArray("JEAN"));
    EXPECT_EQ(field("0  'D'ARC' 'JEANNE'", 3, "Nom"), QByteArray("D ARC"));
    EXPECT_EQ(field("0  'D'ARC' 'JEANNE'", 3, "Prenom"), QByteArray("JEANNE"));
    EXPECT_EQ(field("0  'LE GALL' 'MARIE ANNE'", 3, "Prenom"), QByteArray("MARIE ANNE"));
    // The first line must begin with the marker; later lines do not count.
    EXPECT_FALSE(field("1  'DUPONT' 'JEAN'", 3, "Nom"));
    EXPECT_FALSE(field(" 0  'DUPONT' 'JEAN'", 3, "Nom"));
    EXPECT_FALSE(field("entete\r\n0  'DUPONT' 'JEAN'", 3, "Nom"));
    EXPECT_FALSE(field("0  '' 'JEAN'", 3, "Nom"));
    EXPECT_FALSE(field(QByteArray(), 3, "Nom"));
}

TEST(AutoIdentify, WordCountsAndTheTokenizer)
{
    QByteArray value = "unchanged";
    EXPECT_TRUE(ExtractField("N: A B C", 1, "N:", 2, "", value));
    EXPECT_EQ(value, "A B");
    EXPECT_FALSE(ExtractField("N: A B", 1, "N:", 3, "", value));
    value = "unchanged";
    EXPECT_TRUE(ExtractField("N: A", 1, "N:", 0, "", value));
    EXPECT_EQ(value, "unchanged");
    EXPECT_FALSE(ExtractField("xN: A", 1, "N:", -1, "", value));
    EXPECT_TRUE(ExtractField("xN: A", 2, "N:", -1, "", value));
    EXPECT_TRUE(ExtractField("xxN: A", -1, "N:", -1, "", value));
    EXPECT_FALSE(ExtractField("x", 5, "N:", -1, "", value));

    QByteArray text = " \t'ABC'DEF  GHI", word;
    EXPECT_TRUE(NextWord(text, word, ""));
    EXPECT_EQ(word, "ABC");
    EXPECT_EQ(text, "DEF  GHI");
    EXPECT_TRUE(NextWord(text, word, "GHI"));
    EXPECT_EQ(word, "DEF");
    EXPECT_FALSE(NextWord(text, word, "GHI"));
    EXPECT_EQ(word, "DEF");
    text = " \t ";
    EXPECT_FALSE(NextWord(text, word, ""));
    text = "LAST";
    EXPECT_TRUE(NextWord(text, word, "END"));
    EXPECT_EQ(word, "LAST");
    EXPECT_TRUE(text.isEmpty());

    EXPECT_EQ(SplitReportLines("a\r\nb\nc\rd\r\n\r\ne"),
              QList<QByteArray>({"a", "b", "c", "d", "", "e"}));
    EXPECT_EQ(SplitReportLines("a\n"), QList<QByteArray>({"a"}));
    EXPECT_TRUE(SplitReportLines("").isEmpty());
}

namespace {

// Registers a document of source `cfg` with its report bytes as its data file.
int addDocument(int cfg, int type, const QByteArray& report)
{
    const int number = AddImportedFile(CurrentPack, "rapport", cfg, 0, "X");
    writeFileBytes(DocumentFileName(number, type), report);
    return number;
}

QString patientsRows(const LocalTablesFixture& f)
{
    return f.cli("SELECT Patient_ID, Nom, Prenom FROM \"Patients.db\" ORDER BY Patient_ID;");
}

QString documentRow(const LocalTablesFixture& f, int number)
{
    return f.cli(
        QStringLiteral("SELECT NeedId, Patient FROM \"FILES.DB\" WHERE Number = %1;").arg(number));
}

} // namespace

TEST(AutoIdentify, EachKindFindsOrCreatesTheLocalPatient)
{
    LocalTablesFixture f;
    f.addSource(1, 1, true, false, 0, "jae");
    f.addSource(2, 4, false, true, 0, "DYN");
    f.addSource(3, 2, true, false, 0, "BR1");

    const QByteArray kind1 = kind1Line(NomLabel1, "DUPONT", SexeLabel1) + "\r\n" +
                             kind1Line(PrenomLabel1, "\xC9lodie", TailleLabel1) + "\r\n";
    const int first = addDocument(1, 1, kind1);
    EXPECT_TRUE(IdentifyFile(first));
    EXPECT_EQ(patientsRows(f), "1|DUPONT|Élodie");
    EXPECT_EQ(documentRow(f, first), "0|1");

    // The same names again: the same patient.
    const int second = addDocument(1, 1, kind1);
    EXPECT_TRUE(IdentifyFile(second));
    EXPECT_EQ(documentRow(f, second), "0|1");

    const int third = addDocument(2, 4, "Nom :\tMARTIN\tSexe :\tM\nPr\xE9nom :\tJean Luc\n");
    EXPECT_TRUE(IdentifyFile(third));
    EXPECT_EQ(documentRow(f, third), "0|2");

    // A Breeze report is read where Breeze left it.
    const QString breezeFile = f.ws.path("breeze/P0001.BR1");
    writeFileBytes(breezeFile, "0  'D'ARC' 'JEANNE'\r\n");
    const int fourth = AddImportedFile(CurrentPack, breezeFile, 3, 0, "BR1");
    EXPECT_TRUE(IdentifyFile(fourth));
    EXPECT_EQ(documentRow(f, fourth), "0|3");
    EXPECT_EQ(patientsRows(f), "1|DUPONT|Élodie\n2|MARTIN|Jean Luc\n3|D ARC|JEANNE");
    // Identification itself leaves the data files alone.
    EXPECT_EQ(readFileBytes(DocumentFileName(first, 1)), kind1);
}

TEST(AutoIdentify, LeavesTheDocumentToTheDialogWhenItCannotSearch)
{
    LocalTablesFixture f;
    f.addSource(1, 1, true, false, 0, "JAE");
    f.addSource(2, 1, true, false, 0, "PDF");
    f.addSource(3, 1, false, false, 0, "JAE");
    const QByteArray good = kind1Line(NomLabel1, "DUPONT", SexeLabel1) + "\r\n" +
                            kind1Line(PrenomLabel1, "JEAN", TailleLabel1) + "\r\n";

    const int noKind = addDocument(2, 1, good);
    const int noNeed = addDocument(3, 1, good);
    const int noPrenom = addDocument(1, 1, kind1Line(NomLabel1, "DUPONT", SexeLabel1));
    const int noFile = AddImportedFile(CurrentPack, "x", 1, 0, "JAE");
    const int unreadable = addDocument(1, 1, good);
    QFile::remove(DocumentFileName(unreadable, 1));
    QDir().mkpath(DocumentFileName(unreadable, 1)); // a folder where the file should be

    for (int number : {noKind, noNeed, noPrenom, noFile, unreadable, 999})
        EXPECT_FALSE(IdentifyFile(number)) << number;
    EXPECT_EQ(patientsRows(f), "");
    EXPECT_EQ(f.cli("SELECT group_concat(NeedId || ':' || ifnull(Patient, 0)) FROM \"FILES.DB\";"),
              "1:0,0:0,1:0,1:0,1:0");
    // The two that could not be read left one line each.
    const QString log = QString::fromLatin1(f.ws.operationsLog());
    EXPECT_EQ(log.count("Automatic identification of document"), 2) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("document %1 impossible").arg(noFile)))
        << log.toStdString();

    // With the practice database holding the patients, the local table is not searched.
    const int good1 = addDocument(1, 1, good);
    PracticeDBInUse = true;
    EXPECT_FALSE(IdentifyFile(good1));
    PracticeDBInUse = false;
    EXPECT_TRUE(IdentifyFile(good1));
    EXPECT_EQ(patientsRows(f), "1|DUPONT|JEAN");
}
