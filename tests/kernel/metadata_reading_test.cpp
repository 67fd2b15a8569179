// How the metadata is read: a plain query read from its statement describes exactly what its
// cursor would show, filters and parameters still decide the rows, a bad stored value anywhere in
// a row stops the load, Custom texts keep their lines whatever their breaks, and the list of
// descriptions finds names in any order and case.
#include "kernel_helpers.h"

#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

// Every description of the component as text lines, to compare two loads.
QStringList describe(const TDBAccess& access)
{
    QStringList out;
    auto yes = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
    for (int i = 0; i < access.TableProps().Count(); ++i) {
        const TTableProps* t = access.TableProps().At(i);
        out.append(QStringList({t->TableName, t->KeyFields, yes(t->System), yes(t->TraceLog),
                                t->BaseTable, t->Custom.Text()})
                       .join('|'));
        for (int f = 0; f < t->FieldCount(); ++f) {
            const TFieldProps* p = t->Fields.At(f);
            out.append(
                QStringList({"  " + p->FieldName, yes(p->Required), yes(p->Visible), p->MetaType,
                             QString::number(p->DataType), QString::number(p->Size),
                             QString::number(p->Precision), p->Custom.Text(), p->Origin,
                             p->NativeName, yes(p->LookupReady)})
                    .join('|'));
        }
        for (const TLinkInfo* l : t->ParentLinks)
            out.append(QStringLiteral("  < %1 #%2 %3").arg(l->Parent).arg(l->ID).arg(l->Optional));
        for (const TLinkInfo* l : t->ChildLinks)
            out.append(QStringLiteral("  > %1 #%2").arg(l->Child).arg(l->ID));
    }
    return out;
}

QStringList tableNames(const TDBAccess& access)
{
    QStringList names;
    for (int i = 0; i < access.TableProps().Count(); ++i)
        names.append(access.TableProps().At(i)->TableName);
    return names;
}

// Values stored in the forms other tools write: Booleans as text, a number with blanks.
void writeOddlyStoredValues(const KernelDb& kernel)
{
    kernel.exec("update METATABLE set SYSTEM = 'true' where TABLE_NAME = 'VISITS';"
                "update METAFIELD set VISIBLE = '0', DATATYPE = ' 7 '"
                " where TABLE_NAME = 'PATIENTS' and FIELD_NAME = 'NOM';");
}

struct Loaded
{
    QStringList description;
    int scrolls = 0;
};

// Loads the sample kernel; `watched` gives every metadata query a scroll handler, so that the
// loader has to walk their cursors.
Loaded loadSample(bool watched)
{
    SampleKernel s;
    writeOddlyStoredValues(s.kernel);
    Loaded loaded;
    if (watched) {
        for (SqlQuery* q : {&s.tables, &s.fields, &s.links})
            q->afterScroll = [&loaded](DataSet&) { ++loaded.scrolls; };
    }
    ScopedScriptedDialogs dialogs;
    EXPECT_TRUE(s.access.Init());
    loaded.description = describe(s.access);
    const TTableProps* visits = s.access.FindTableProps("VISITS");
    const TFieldProps* name = s.access.FindTableProps("PATIENTS")->FieldPropsByName("NOM");
    EXPECT_TRUE(visits && visits->System);
    EXPECT_FALSE(name->Visible);
    EXPECT_EQ(name->DataType, dtMoney);
    for (SqlQuery* q : {&s.tables, &s.fields, &s.links})
        EXPECT_FALSE(q->isActive());
    return loaded;
}

QString loadError(AccessOnKernel& s)
{
    QString message;
    s.access.OnConnectError = [&message](const Exception& e, bool&) { message = e.message(); };
    EXPECT_FALSE(s.access.Init());
    EXPECT_EQ(s.access.InitResult(), TInitResult::Failed);
    return message;
}

} // namespace

TEST(MetadataReading, AQueryReadFromItsStatementDescribesWhatItsCursorShows)
{
    const Loaded read = loadSample(false);
    const Loaded walked = loadSample(true);
    EXPECT_EQ(read.scrolls, 0);
    EXPECT_GT(walked.scrolls, 0);
    EXPECT_EQ(read.description, walked.description);
    // Nine descriptions (four of the database, five built in), 17 fields, 7 link lines at least.
    EXPECT_GT(read.description.size(), 9 + 17);
}

TEST(MetadataReading, TheQueryParametersAndTheTablesFilterDecideWhatIsDescribed)
{
    SampleKernel s;
    s.tables.setSql("select * from METATABLE where TABLE_NAME <> :SKIP order by TABLE_NAME");
    s.tables.paramByName("SKIP").setAsString("MEDECINS");
    s.tables.setFilter("TABLE_NAME <> 'VISITS'");
    ScopedScriptedDialogs dialogs;
    ASSERT_TRUE(s.access.Init());
    EXPECT_EQ(tableNames(s.access), QStringList({"PATIENTS", "V_PATIENTS", "DBROLE", "DBUSER",
                                                 "USERROLE", "METATABLE", "METAFIELD"}));
    // The fields of the tables left out are passed over; the links are all read.
    EXPECT_EQ(s.access.FindTableProps("PATIENTS")->Fields.Names(),
              QStringList({"PATIENTS_ID", "NOM", "SEXE", "MEDECINS_ID"}));
    EXPECT_EQ(s.access.LinkSet().Count(), 3 + 1 + 3);
    EXPECT_TRUE(s.tables.isFiltered());

    // Without the filter the same query, parameter and all, is read from its statement.
    s.tables.setFilter(QString());
    ASSERT_TRUE(s.access.Init());
    EXPECT_EQ(tableNames(s.access), QStringList({"PATIENTS", "VISITS", "V_PATIENTS", "DBROLE",
                                                 "DBUSER", "USERROLE", "METATABLE", "METAFIELD"}));
    EXPECT_EQ(s.access.FindTableProps("visits")->Fields.Names(),
              QStringList({"VISITS_ID", "PATIENTS_ID", "MEDECINS_ID", "MONTANT"}));
}

TEST(MetadataReading, AStoredValueThatCannotBeReadStopsTheLoadEvenInAColumnNotUsed)
{
    const QString expected = "'x' is not a valid Integer value (field 'ORD')";
    {
        SampleKernel s;
        s.kernel.exec("update METAFIELD set ORD = 'x' where FIELD_NAME = 'MONTANT'");
        EXPECT_EQ(loadError(s), expected);
    }
    {
        SampleKernel s;
        s.kernel.exec("update METAFIELD set ORD = 'x' where FIELD_NAME = 'MONTANT'");
        s.fields.afterScroll = [](DataSet&) {};
        EXPECT_EQ(loadError(s), expected);
    }
    // A select that lacks a column the loader needs is refused as the dataset refuses it.
    SampleKernel s;
    s.fields.setObjectName("Fields");
    s.fields.setSql("select FIELD_NAME from METAFIELD");
    EXPECT_EQ(loadError(s), "Fields : Champ 'TABLE_NAME' non trouvé");
}

TEST(MetadataTexts, CustomTextsKeepTheirLinesWhateverTheBreaks)
{
    TMetaModifyScope modify;
    TCustomPropList c;
    const QList<QPair<QString, QString>> cases = {
        {"A=1\r\nB=2", "A=1\r\nB=2"},
        {"A=1\r\nB=2\r\n", "A=1\r\nB=2"}, // a break at the end opens no line
        {"A=1\rB=2\nC=3", "A=1\r\nB=2\r\nC=3"},
        {"A=1\n\r\nB=2", "A=1\r\n\r\nB=2"},
        {"A=1\r\n\r\nB=2", "A=1\r\n\r\nB=2"},
        {"\r\n", ""},
        {"\nA=1", "\r\nA=1"},
        {"A=1", "A=1"},
    };
    for (const auto& [text, joined] : cases) {
        c.SetText(text);
        EXPECT_EQ(c.Text(), joined) << text.toStdString();
    }

    // Only CR LF ends a line in a stored text: a CR that a value brought in stays in it.
    c.SetText("LookupKeys=1,2\r\nLabel=Sexe");
    c.SetValues("Note", "a\rb");
    c.SetValues("Mark", "1");
    EXPECT_EQ(c.Text(), "LookupKeys=1,2\r\nLabel=Sexe\r\nNote=a\rb\r\nMark=1");
    EXPECT_EQ(c.Values("note"), "a\rb");
    EXPECT_EQ(c.Values("MARK"), "1");
    EXPECT_EQ(c.Values("lookupkeys"), "1,2");
    EXPECT_EQ(c.Values("LookupKey"), "");
    EXPECT_EQ(c.Values("Label=Sexe"), "");
    EXPECT_EQ(c.Values(""), "");
}

TEST(MetadataTexts, TheListOfDescriptionsFindsNamesInAnyOrderAndCase)
{
    TTablePropsList list;
    QList<const TTableProps*> made;
    for (const char* name : {"VISITS", "Patients", "ANALYSES", "patients", "ZONES", "B"}) {
        auto t = std::make_unique<TTableProps>();
        t->TableName = name;
        made.append(t.get());
        list.Add(std::move(t));
    }
    EXPECT_EQ(list.Find("visits"), made[0]);
    EXPECT_EQ(list.Find("PATIENTS"), made[1]); // the first of the two
    EXPECT_EQ(list.Find("Analyses"), made[2]);
    EXPECT_EQ(list.Find("zones"), made[4]);
    EXPECT_EQ(list.Find("b"), made[5]);
    EXPECT_EQ(list.Find("PATIENT"), nullptr);
    EXPECT_EQ(list.Find("A"), nullptr);
    EXPECT_EQ(list.Find("ZZ"), nullptr);

    // Taking the first of a name makes the second found; taking that one too forgets the name.
    EXPECT_EQ(list.Take(made[1]).get(), made[1]);
    EXPECT_EQ(list.Find("Patients"), made[3]);
    EXPECT_EQ(list.Take(made[3]).get(), made[3]);
    EXPECT_EQ(list.Find("Patients"), nullptr);
    EXPECT_EQ(list.Find("ANALYSES"), made[2]);
    EXPECT_EQ(list.Count(), 4);

    const std::vector<std::unique_ptr<TTableProps>> all = list.TakeAll();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].get(), made[0]);
    EXPECT_EQ(all[3].get(), made[5]);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Find("VISITS"), nullptr);
    auto again = std::make_unique<TTableProps>();
    again->TableName = "visits";
    const TTableProps* added = again.get();
    list.Add(std::move(again));
    EXPECT_EQ(list.Find("VISITS"), added);
}
