// Automatic identification: the three report kinds read from hand-written report bytes, and whole
// documents identified against the local patients table (rows read back with the sqlite3 tool).
#include "localtables_fixture.h"

#include <app/appglobals.h>
#include <app/documents/docregistry.h>
#include <app/patients/autoident.h>
#include <platform/db/localtable.h>
#include <platform/support/globals.h>

#include <gtest/gtest.h>

#include <optional>

namespace {

// Labels as the reports write them, blanks counted out.
const QByteArray Nom1 = "Nom" + QByteArray(13, ' ') + ":";
const QByteArray Sexe1 = "Sexe" + QByteArray(12, ' ') + ":";
const QByteArray Prenom1 = "Pr\xE9nom" + QByteArray(10, ' ') + ":";
const QByteArray Taille1 = "Taille" + QByteArray(10, ' ') + ":";

QByteArray kind1Line(const QByteArray& label, const QByteArray& value, const QByteArray& next)
{
    return label + " " + value + QByteArray(10, ' ') + next + " X";
}

std::optional<QByteArray> field(const QByteArray& text, int kind, const char* name)
{
    int row = 0;
    if (!FindMarkerRow(kind, QString::fromLatin1(name), row))
        return std::nullopt;
    const IdMarkerRow& m = IdMarker(row);
    QByteArray value;
    if (!FindField(SplitReportLines(text), m.Position, m.Line, m.StartMarker, m.WordCount,
                   m.EndMarker, value))
        return std::nullopt;
    return value;
}

const QByteArray Kind1Report =
    kind1Line(Nom1, "DUPONT", Sexe1) + "\r\n" + kind1Line(Prenom1, "\xC9lodie", Taille1) + "\r\n";

struct FieldCase
{
    QByteArray text;
    int kind;
    const char* name;
    std::optional<QByteArray> value;
};

const FieldCase fieldCases[] = {
    // Several words; an apostrophe separates; a name running into the next label stops there.
    {kind1Line(Nom1, "LE GALL", Sexe1), 1, "Nom", "LE GALL"},
    {kind1Line(Nom1, "D'ARC", Sexe1), 1, "Nom", "D ARC"},
    {Nom1 + " DUPONT" + Sexe1 + " M", 1, "Nom", "DUPONT"},
    {Nom1 + "   MARTIN  DURAND", 1, "Nom", "MARTIN DURAND"},
    // A label without a name is passed over for a later line that has one.
    {Nom1 + "          " + Sexe1 + "\nautre\n" + kind1Line(Nom1, "BERNARD", Sexe1), 1, "Nom",
     "BERNARD"},
    // Labels match on their bytes: one blank less, or the unaccented spelling, is no label.
    {"Nom" + QByteArray(12, ' ') + ": DUPONT", 1, "Nom", std::nullopt},
    {"Prenom" + QByteArray(10, ' ') + ": JEAN", 1, "Prenom", std::nullopt},
    {Nom1 + "   " + Sexe1 + " M", 1, "Nom", std::nullopt},
    // Kind 2: the labels need their tab.
    {"R\r\nNom :\tMARTIN\tSexe :\tM\r\nPr\xE9nom :\tJean Luc\tTaille :\t180", 2, "Nom", "MARTIN"},
    {"Nom : MARTIN\tSexe :\tM", 2, "Nom", std::nullopt},
    {"Pr\xE9nom :\t\tTaille :\t180", 2, "Prenom", std::nullopt},
    // Kind 3: quoted on a first line that begins with the marker.
    {"0  'DUPONT' 'JEAN'\r\n1 2 3\r\n", 3, "Nom", "DUPONT"},
    {"0  'DUPONT' 'JEAN'\r\n1 2 3\r\n", 3, "Prenom", "JEAN"},
    {"0  'LE GALL' 'MARIE ANNE'", 3, "Prenom", "MARIE ANNE"},
    {"1  'DUPONT' 'JEAN'", 3, "Nom", std::nullopt},
    {" 0  'DUPONT' 'JEAN'", 3, "Nom", std::nullopt},
    {"entete\r\n0  'DUPONT' 'JEAN'", 3, "Nom", std::nullopt},
    {"0  '' 'JEAN'", 3, "Nom", std::nullopt},
    {QByteArray(), 3, "Nom", std::nullopt},
};

} // namespace

TEST(AutoIdentify, ReportKindsAndTheirFields)
{
    // Whatever the case; a blank or another extension is no kind.
    for (const auto& [extension, expected] :
         {std::pair{"JAE", 1}, {"dyn", 2}, {"Br1", 3}, {"JAE ", 0}, {"PDF", 0}, {"", 0}}) {
        int kind = 0;
        EXPECT_EQ(FindReportKind(extension, kind), expected != 0) << extension;
        EXPECT_EQ(kind, expected) << extension;
    }
    for (const FieldCase& c : fieldCases)
        EXPECT_EQ(field(c.text, c.kind, c.name), c.value) << c.text.toStdString();
}

// The field search by position and by word count, which the report kinds above leave at 1 or
// anywhere and at every word: a marker must stand exactly where a position says, and a count
// takes exactly that many words or nothing, so that a short name never borrows another's.
TEST(AutoIdentify, FieldsByPositionAndWordCount)
{
    const struct
    {
        const char* text;
        int position;
        const char* start;
        int words;
        const char* end;
        std::optional<QByteArray> value;
    } cases[] = {
        {"ID: 0042 NOM: LE GALL Marie", 10, "NOM:", 2, "", "LE GALL"},
        {"ID: 0042 NOM: LE GALL Marie", 10, "NOM:", 3, "", "LE GALL Marie"},
        {"ID: 0042 NOM: LE GALL Marie", 10, "NOM:", 4, "", std::nullopt},
        {"ID: 0042 NOM: LE GALL Marie", 9, "NOM:", 1, "", std::nullopt},
        {"ID: 0042 NOM: LE GALL Marie", 11, "NOM:", 1, "", std::nullopt},
        {"ID: 0042 NOM: LE GALL Marie", -1, "NOM:", 1, "", "LE"},
        {"ID: 0042 NOM: LE GALL Marie", -1, "nom:", 1, "", std::nullopt},
        {"ID: 0042 NOM: LE GALL Marie", 40, "NOM:", 1, "", std::nullopt},
        {"ID: 0042 NOM: LE GALL Marie", 0, "NOM:", 1, "", std::nullopt},
        // A count stops at the end marker like every word does.
        {"NOM: DUPONT Sexe: M", 1, "NOM:", 1, "Sexe:", "DUPONT"},
        {"NOM: DUPONT Sexe: M", 1, "NOM:", 2, "Sexe:", std::nullopt},
        {"NOM: DUPONT Sexe: M", 1, "NOM:", -1, "Sexe:", "DUPONT"},
        // The first occurrence of the marker, even when a later one would have the words.
        {"NOM: | NOM: DUPONT", -1, "NOM:", 2, "|", std::nullopt},
        // No words wanted: the marker alone is enough and the value is left as it was.
        {"NOM: DUPONT", 1, "NOM:", 0, "", "unchanged"},
        {"NOM: DUPONT", 2, "NOM:", 0, "", std::nullopt},
    };
    for (const auto& c : cases) {
        QByteArray value = "unchanged";
        const bool found = ExtractField(c.text, c.position, c.start, c.words, c.end, value);
        EXPECT_EQ(found ? std::optional<QByteArray>(value) : std::nullopt, c.value)
            << c.text << " @" << c.position << " x" << c.words;
    }
}

namespace {

// Registers a document of source `cfg` with its report bytes as its data file.
int addDocument(int cfg, int type, const QByteArray& report)
{
    const int number = AddImportedFile(CurrentPack, "rapport", cfg, 0, "X");
    writeFileBytes(DocumentFileName(number, type), report);
    return number;
}

} // namespace

TEST(AutoIdentify, EachKindFindsOrCreatesTheLocalPatientOrLeavesTheDocumentToTheDialog)
{
    LocalTablesFixture f;
    f.addSource(1, 1, true, false, 0, "jae");
    f.addSource(2, 4, false, true, 0, "DYN");
    f.addSource(3, 2, true, false, 0, "BR1");
    f.addSource(4, 1, true, false, 0, "PDF");
    f.addSource(5, 1, false, false, 0, "JAE");
    const auto patients = [&f] {
        return f.cli("SELECT Patient_ID, Nom, Prenom FROM \"Patients.db\" ORDER BY Patient_ID;");
    };
    const auto documents = [&f] {
        return f.cli("SELECT group_concat(NeedId || ':' || ifnull(Patient, 0), ' ') FROM "
                     "\"FILES.DB\";");
    };

    // Documents it cannot search: no kind, no need, no first name, no file, a folder where the
    // file should be, no such document; the practice database holding the patients.
    const int noFile = AddImportedFile(CurrentPack, "x", 1, 0, "JAE");
    const int unreadable = addDocument(1, 1, Kind1Report);
    QFile::remove(DocumentFileName(unreadable, 1));
    QDir().mkpath(DocumentFileName(unreadable, 1));
    const QList<int> refused = {addDocument(4, 1, Kind1Report),
                                addDocument(5, 1, Kind1Report),
                                addDocument(1, 1, kind1Line(Nom1, "DUPONT", Sexe1)),
                                noFile,
                                unreadable,
                                999};
    for (int number : refused)
        EXPECT_FALSE(IdentifyFile(number)) << number;
    const int first = addDocument(1, 1, Kind1Report);
    PracticeDBInUse = true;
    EXPECT_FALSE(IdentifyFile(first));
    PracticeDBInUse = false;
    EXPECT_EQ(patients(), "");
    EXPECT_EQ(documents(), "1:0 1:0 1:0 0:0 1:0 1:0");
    // The two that could not be read left one line each.
    const QString log = QString::fromLatin1(f.ws.operationsLog());
    EXPECT_EQ(log.count("Automatic identification of document"), 2) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("document %1 impossible").arg(noFile)))
        << log.toStdString();

    EXPECT_TRUE(IdentifyFile(first));
    EXPECT_EQ(patients(), "1|DUPONT|Élodie");
    // The same names again: the same patient.
    const int second = addDocument(1, 1, Kind1Report);
    EXPECT_TRUE(IdentifyFile(second));
    const int third = addDocument(2, 4, "Nom :\tMARTIN\tSexe :\tM\nPr\xE9nom :\tJean Luc\n");
    EXPECT_TRUE(IdentifyFile(third));
    // A Breeze report is read where Breeze left it.
    const QString breezeFile = f.ws.path("breeze/P0001.BR1");
    writeFileBytes(breezeFile, "0  'D'ARC' 'JEANNE'\r\n");
    EXPECT_TRUE(IdentifyFile(AddImportedFile(CurrentPack, breezeFile, 3, 0, "BR1")));
    EXPECT_EQ(patients(), "1|DUPONT|Élodie\n2|MARTIN|Jean Luc\n3|D ARC|JEANNE");
    EXPECT_EQ(documents(), "1:0 1:0 1:0 0:0 1:0 0:1 0:1 0:2 0:3");
    // Identification itself leaves the data files alone.
    EXPECT_EQ(readFileBytes(DocumentFileName(first, 1)), Kind1Report);
}
