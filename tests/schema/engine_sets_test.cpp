// The structure engine's work sets: tables made from structures loading back unmarked, the live
// columns and items it ignores, the checks and their messages, the repairs of index columns,
// writing the sets back into the structure, and the editor's handlers that mark, move and revert
// rows.
#include "schema_helpers.h"

#include <kernel/reswords.h>
#include <schema/tablestrengine.h>

#include <support/qt_printers.h>

#include <gtest/gtest.h>

using namespace schematest;

namespace {

const QStringList FieldCols{"UA", "NEW_NAME", "DATATYPE", "SIZE", "ORDER"};
const QStringList IndexCols{"UA", "NEW_NAME", "FIELDS", "PK", "CLASTERED"};

// A form that is shown: it records the pages it was asked to show.
struct VisibleView : TTableStrView
{
    QStringList pages;
    bool FormVisible() const override { return true; }
    void ShowPage(TStrPage page) override { pages.append(QString::number(page)); }
    void FocusControl(const QString&, const QString&) override {}
    void ErrorBox(const QString& message) override { pages.append(message); }
    void ShowTriggerPages(bool) override {}
};

// P (A key, B, C, D) with indexes on C and on B,C, and a row.
void fourColumns(SchemaDb& d)
{
    auto p = d.table("P");
    addField(*p, "A", dtInteger, 0, foRequired);
    for (const char* n : {"B", "C", "D"})
        addField(*p, n, dtString, 10);
    addIndex(*p, "PRIMARY KEY", "A", idxPrimary);
    addIndex(*p, "IX_C", "C");
    addIndex(*p, "IX_BC", "B,C");
    p->Execute();
}

void load(TTableStrEngine& e, TTableStruct& s)
{
    e.BatchMode = true;
    e.LoadStructure(s);
}

QString failure(TTableStrEngine& e)
{
    try {
        e.ValidateStructure(true);
    } catch (const Exception& x) {
        return x.message();
    }
    return QString();
}

} // namespace

TEST(EngineSets, TablesMadeFromStructuresLoadBackUnmarkedWithTheirKey)
{
    SchemaDb d;
    auto one = d.table("ONE");
    addField(*one, "ID", dtInteger, 0, foRequired);
    addField(*one, "NAME", dtString, 20);
    addIndex(*one, "PRIMARY KEY", "ID", idxPrimary);
    auto two = d.table("TWO");
    addField(*two, "K1", dtInteger, 0, foRequired);
    addField(*two, "K2", dtString, 10, foRequired);
    addField(*two, "V", dtNumeric, 10)->Precision = 2;
    addIndex(*two, "PRIMARY KEY", "K1,K2", idxPrimary);
    addIndex(*two, "IX_V", "V");
    struct Case
    {
        TTableStruct* s;
        QStringList fields, indexes;
    };
    for (const Case& c : {Case{one.get(), {"|ID|1||1", "|NAME|3|20|2"}, {"|PRIMARY KEY|ID|1|0"}},
                          Case{two.get(),
                               {"|K1|1||1", "|K2|3|10|2", "|V|8|10|3"},
                               {"|PRIMARY KEY|K1,K2|1|0", "|IX_V|V|0|0"}}}) {
        SCOPED_TRACE(c.s->TableName().toStdString());
        c.s->Execute();
        c.s->SetUpgradeAction(uaAlter);
        TTableStrEngine e;
        load(e, *c.s);
        EXPECT_EQ(rowsOf(e.TFields, FieldCols), c.fields);
        EXPECT_EQ(rowsOf(e.TInd, IndexCols), c.indexes);
        EXPECT_EQ(e.FieldOrderText(), "");
        EXPECT_EQ(failure(e), "");
    }
}

TEST(EngineSets, GuidColumnAndMissingItemsAreLeftOutAndAMissingKeyIsBlank)
{
    SchemaDb d;
    d.kernel.exec("create table C (GUID varchar(38), X integer, Y varchar(5))");
    auto s = d.table("C", uaAlter);
    alterField(*s, "Z", dtInteger);
    addField(*s, "W", dtInteger)->UpgradeAction = uaDrop;
    addField(*s, "X", dtString, 4); // exists: left alone
    alterField(*s, "Y", dtString, 9);
    TTableStrEngine e;
    load(e, *s);
    EXPECT_EQ(rowsOf(e.TFields, FieldCols), QStringList({"|X|1||1", "A|Y|3|9|2"}));
    EXPECT_EQ(rowsOf(e.TInd, IndexCols), QStringList{"C|PRIMARY KEY||1|1"});
    // GUID stands first among the live columns.
    EXPECT_EQ(e.FieldOrderText(), "X,Y");
    EXPECT_EQ(failure(e), "TS_C. Blank column for index PRIMARY KEY");
    TTableStrEngine missing;
    load(missing, *d.table("NONE", uaAlter));
    EXPECT_TRUE(missing.BadTableName);
}

TEST(EngineSets, ChecksReportTheFirstFaultWithItsExactMessage)
{
    struct Case
    {
        const char* expected;
        std::function<void(TTableStruct&)> build;
        std::function<void(TTableStrEngine&)> edit;
    };
    const auto keyed = [](TTableStruct& s) {
        addField(s, "A", dtInteger, 0, foRequired);
        addIndex(s, "PRIMARY KEY", "A", idxPrimary);
    };
    const QList<Case> cases{
        {"Table name is required.", [](TTableStruct& s) { s.SetTableName(""); }, {}},
        {"TS_T. Fields section is empty", [](TTableStruct&) {}, {}},
        {"TS_T. The name FUNCTION is reserved and cannt be used for field name",
         [](TTableStruct& s) { addField(s, "FUNCTION", dtInteger); },
         {}},
        {"TS_T. Field F: data type is required.",
         [](TTableStruct& s) { addField(s, "F", dtUnknown); },
         {}},
        {"TS_T. Field F: data size is required.",
         [](TTableStruct& s) { addField(s, "F", dtLangString); },
         {}},
        {"TS_T. Field F: data precision is required.",
         [](TTableStruct& s) { addField(s, "F", dtNumeric, 10); },
         {}},
        {"TS_T. Cannot create more then one clastered index on table",
         [keyed](TTableStruct& s) {
             keyed(s);
             s.Indexes().Items(0)->Options |= idxClastered;
             addIndex(s, "IX_A", "A", idxClastered);
         },
         {}},
        {"TS_T. Field B: Key fields must be consecutive ,starting with the first field in the "
         "fields list.",
         [](TTableStruct& s) {
             for (const char* n : {"A", "B", "C"})
                 addField(s, n, dtInteger, 0, foRequired);
             addIndex(s, "PRIMARY KEY", "B,C", idxPrimary);
         },
         {}},
        {"TS_T. Duplicate master reference for table 'M'.", keyed,
         [](TTableStrEngine& e) {
             e.LinkDialogOpen = true; // as the new link dialog adds them
             for (const char* mark : {"", "D"})
                 e.TLink.appendRecord({"M", {}, "ID", "A", mark, 0, "None", {}, "A"});
         }},
        {"", // the invisible engine makes a second autoincrement field an integer
         [keyed](TTableStruct& s) {
             keyed(s);
             addField(s, "N1", dtAutoinc);
             addField(s, "N2", dtAutoinc);
         },
         {}},
    };
    SchemaDb d;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        auto s = d.table("T");
        c.build(*s);
        TTableStrEngine e;
        load(e, *s);
        if (c.edit)
            c.edit(e);
        EXPECT_EQ(failure(e), c.expected);
    }
    auto s = d.table("T");
    cases.last().build(*s);
    TTableStrEngine e;
    VisibleView view;
    e.SetView(&view);
    e.LoadStructure(*s);
    EXPECT_FALSE(e.ValidateStructure(false));
    EXPECT_EQ(view.pages.mid(view.pages.size() - 2),
              QStringList({"1", "TS_T. Only one autoincrement field per table is allowed"}));
}

TEST(EngineSets, PlainNamesFollowEachServerKindsCharactersAndLength)
{
    struct Case
    {
        QString name;
        bool local, msSql, oracle;
    };
    const QString a30(30, u'A');
    const QString a128(128, u'A');
    const QList<Case> cases{
        {"VISIT_2", true, true, true},   {"", false, false, false},
        {"2X", false, false, false},     {"1 mauvais-nom;", false, false, false},
        {"PRÉNOM", false, false, false}, {"_A", true, true, false},
        {"#A", false, false, false},     {"@A", false, false, false},
        {"$A", false, false, false},     {"A$#", false, true, true},
        {a30, true, true, true},         {a30 + "A", true, true, false},
        {a128, true, true, false},       {a128 + "A", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(IsPlainName(c.name, ServerKind::Standard), c.local);
        EXPECT_EQ(IsPlainName(c.name, ServerKind::MSSQL), c.msSql);
        EXPECT_EQ(IsPlainName(c.name, ServerKind::Oracle), c.oracle);
    }
}

TEST(EngineSets, NewNamesTheServerKindCannotTakeAreRefusedNamingTheItem)
{
    const QString local = ": a name is letters A-Z, digits and _, not beginning with a digit.";
    const QString oracle =
        ": a name is up to 30 letters A-Z, digits, _, $ and #, beginning with a letter.";
    struct Case
    {
        quint8 kind;
        QString table, field, index, expected;
    };
    const QList<Case> cases{
        // The table page holds the name upper-cased.
        {3, "1 mauvais-nom;", "A", "IX_A",
         "TS_T. Table name '1 MAUVAIS-NOM;' is not valid" + local},
        {3, "FUNCTION", "A", "IX_A",
         "TS_T. The name FUNCTION is reserved and cannot be used for table name"},
        {3, "T", "2X", "IX_A", "TS_T. Field name '2X' is not valid" + local},
        {3, "T", "A", "IX-A", "TS_T. Index name 'IX-A' is not valid" + local},
        {3, "T", "A", "INT", "TS_T. The name INT is reserved and cannot be used for index name"},
        {1, "T", "A$", "IX_A#", ""},
        {1, "TABLE", "A", "IX_A",
         "TS_T. The name TABLE is reserved and cannot be used for table name"},
        {1, "T", "$A", "IX_A",
         "TS_T. Field name '$A' is not valid: a name is up to 128 letters A-Z, digits, _, @, # "
         "and $, beginning with a letter or _."},
        {1, "#T", "A", "IX_A",
         "TS_T. Table name '#T' is not valid: a name is up to 128 letters A-Z, digits, _, @, # "
         "and $, beginning with a letter or _."},
        {2, QString(28, u'T'), "A", "IX_A",
         "TS_T. Table name '" + QString(28, u'T') +
             "' is too long: a table name is at most 27 characters, its constraints and triggers "
             "adding 3 to it."},
        {2, QString(27, u'T'), "A", "IX_A", ""},
        {2, "T", "A$", "IX_A", ""},
        {2, "T", "_A", "IX_A", "TS_T. Field name '_A' is not valid" + oracle},
        {2, "T", "A", "#IX_A", "TS_T. Index name '#IX_A' is not valid" + oracle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        SchemaDb d(c.kind);
        auto s = d.table("T");
        s->SetTableName(c.table);
        addField(*s, c.field, dtInteger, 0, foRequired);
        addIndex(*s, "PRIMARY KEY", c.field, idxPrimary);
        addIndex(*s, c.index, c.field);
        TTableStrEngine e;
        load(e, *s);
        EXPECT_EQ(failure(e), c.expected);
    }

    // Names the table has already are left alone; new ones, also renamed ones, are not.
    SchemaDb d;
    auto old = d.table("OLD");
    addField(*old, "A", dtInteger, 0, foRequired);
    addField(*old, "B", dtInteger);
    addIndex(*old, "PRIMARY KEY", "A", idxPrimary);
    old->Execute();
    d.kernel.exec("alter table OLD add column \"2X\" integer;");
    auto same = d.table("OLD", uaAlter);
    TTableStrEngine e;
    load(e, *same);
    EXPECT_EQ(rowsOf(e.TFields, {"NEW_NAME"}), QStringList({"A", "B", "2X"}));
    EXPECT_EQ(failure(e), "");
    const QList<std::function<void(TTableStruct&)>> renames{
        [](TTableStruct& s) { s.SetNewName("OLD TABLE"); },
        [](TTableStruct& s) { alterField(s, "B", dtInteger, 0, "B-2"); },
        [](TTableStruct& s) { addField(s, "C C", dtInteger); },
    };
    const QStringList refused{"TS_OLD. Table name 'OLD TABLE' is not valid" + local,
                              "TS_OLD. Field name 'B-2' is not valid" + local,
                              "TS_OLD. Field name 'C C' is not valid" + local};
    for (int i = 0; i < renames.size(); ++i) {
        auto s = d.table("OLD", uaAlter);
        renames.at(i)(*s);
        TTableStrEngine renamed;
        load(renamed, *s);
        EXPECT_EQ(failure(renamed), refused.at(i));
    }
}

// The reserved-word lists run some neighbouring words together ("SELECTSET"); each word of such
// an entry is kept from new names all the same, on its own kind only.
TEST(EngineSets, EachWordOfARunTogetherReservedEntryIsRefusedForANewName)
{
    struct Entry
    {
        quint8 kind;
        QString entry;
        QStringList words;
    };
    // Worked out from the lists: MS SQL Server's is kept in three columns read across (the last
    // word of a column ran into the one beside it), Oracle's in one alphabetical column.
    const QList<Entry> entries{
        {1, "FORPROCESSEXIT", {"FOR", "PROCESSEXIT"}},
        {1, "READTEXTBEGIN", {"READTEXT", "BEGIN"}},
        {1, "HAVINGRESTORE", {"HAVING", "RESTORE"}},
        {1, "RIGHTCHECKPOINT", {"RIGHT", "CHECKPOINT"}},
        {1, "SAVECOMMIT", {"SAVE", "COMMIT"}},
        {1, "SERIALIZABLECONFIRM", {"SERIALIZABLE", "CONFIRM"}},
        {1, "CONSTRAINTJOIN", {"CONSTRAINT", "JOIN"}},
        {1, "CONVERTLIKE", {"CONVERT", "LIKE"}},
        {1, "MIRROREXITTEMPORARY", {"MIRROREXIT", "TEMPORARY"}},
        {1, "NOTTOP", {"NOT", "TOP"}},
        {1, "TSEQUALDELETE", {"TSEQUAL", "DELETE"}},
        {1, "UPDATETEXTDISTRIBUTED", {"UPDATETEXT", "DISTRIBUTED"}},
        {1, "OUTERWAITFOR", {"OUTER", "WAITFOR"}},
        {1, "EXECPLAN", {"EXEC", "PLAN"}},
        {2, "ARRAYAS", {"ARRAY", "AS"}},
        {2, "CREATECURRENT", {"CREATE", "CURRENT"}},
        {2, "DODROP", {"DO", "DROP"}},
        {2, "FROMGROUP", {"FROM", "GROUP"}},
        {2, "MLSLABELMODE", {"MLSLABEL", "MODE"}},
        {2, "SELECTSET", {"SELECT", "SET"}},
        {2, "TOTRIGGER", {"TO", "TRIGGER"}},
        {2, "UPDATEUSER", {"UPDATE", "USER"}},
    };
    // A structure T with one field and one index besides its key, the word given to one of the
    // three; what validation says.
    const auto check = [](SchemaDb& d, const QString& table, const QString& field,
                          const QString& index) {
        auto s = d.table("T");
        s->SetTableName(table);
        addField(*s, "ID", dtInteger, 0, foRequired);
        addField(*s, field, dtInteger);
        addIndex(*s, "PRIMARY KEY", "ID", idxPrimary);
        addIndex(*s, index, field);
        TTableStrEngine e;
        load(e, *s);
        return failure(e);
    };
    for (const quint8 kind : {1, 2}) {
        SchemaDb d(kind);
        const ServerKind::Kind serverKind = ServerKind::Kind(kind);
        for (const Entry& x : entries) {
            if (x.kind != kind)
                continue;
            SCOPED_TRACE(x.entry.toStdString());
            ASSERT_TRUE(ReservedWords(serverKind).contains(x.entry));
            ASSERT_EQ(x.words.join(""), x.entry);
            for (const QString& word : x.words) {
                EXPECT_EQ(check(d, word, "A", "IX_A"),
                          "TS_T. The name " + word +
                              " is reserved and cannot be used for table name");
                // Case is ignored; the message gives the name as it was typed.
                const QString lower = word.toLower();
                EXPECT_EQ(check(d, "T", lower, "IX_A"),
                          "TS_T. The name " + lower +
                              " is reserved and cannt be used for field name");
                EXPECT_EQ(check(d, "T", "A", word),
                          "TS_T. The name " + word +
                              " is reserved and cannot be used for index name");
            }
        }
        // The words of the other kind's entries are that kind's only.
        const QString other = kind == 1 ? "MODE" : "JOIN";
        EXPECT_EQ(check(d, other, other, other), "");
    }
}

// How the statements write a name on each kind: plain and unreserved names as they stand.
TEST(EngineSets, NamesAreQuotedOnlyWhereTheKindCannotTakeThemAsTheyStand)
{
    struct Case
    {
        QString name, local, msSql, oracle;
    };
    const QList<Case> cases{
        {"PATIENT_ID", "PATIENT_ID", "PATIENT_ID", "PATIENT_ID"},
        {"Patient_Id", "Patient_Id", "Patient_Id", "Patient_Id"},
        {"", "", "", ""},
        {"2X", "\"2X\"", "[2X]", "\"2X\""},
        {"2x", "\"2x\"", "[2x]", "\"2x\""},
        {"DATE NAISS", "\"DATE NAISS\"", "[DATE NAISS]", "\"DATE NAISS\""},
        {"A]B\"C", "\"A]B\"\"C\"", "[A]]B\"C]", "\"A]B\"\"C\""},
        {"_A", "_A", "_A", "\"_A\""},
        {"A$#", "\"A$#\"", "A$#", "A$#"},
        // Reserved words, the words of run-together entries among them; on the local kind also
        // every keyword of SQLite.
        {"INT", "\"INT\"", "INT", "INT"},
        {"TABLE", "\"TABLE\"", "[TABLE]", "\"TABLE\""},
        {"JOIN", "\"JOIN\"", "[JOIN]", "JOIN"},
        {"SELECTSET", "SELECTSET", "SELECTSET", "\"SELECTSET\""},
        {"user", "user", "[user]", "\"user\""},
        {"order", "\"order\"", "[order]", "\"order\""},
        {"GROUP", "\"GROUP\"", "[GROUP]", "\"GROUP\""},
        {"ACTION", "\"ACTION\"", "ACTION", "ACTION"},
        {"ORDERS", "ORDERS", "ORDERS", "ORDERS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(SqlName(c.name, ServerKind::Standard), c.local);
        EXPECT_EQ(SqlName(c.name, ServerKind::MSSQL), c.msSql);
        EXPECT_EQ(SqlName(c.name, ServerKind::Oracle), c.oracle);
    }
    EXPECT_EQ(SqlName("2X", ServerKind::Unknown), "2X");
    // Lists keep their text where no name needs quotes, and the blanks around each name.
    EXPECT_EQ(SqlNameList("A, B", ServerKind::MSSQL), "A, B");
    EXPECT_EQ(SqlNameList("A, 2X ,B", ServerKind::MSSQL), "A, [2X] ,B");
    EXPECT_EQ(SqlNameList("2X,2X", ServerKind::Oracle), "\"2X\",\"2X\"");
}

TEST(EngineSets, IndexColumnsFollowRenamedAndDroppedFields)
{
    SchemaDb d;
    fourColumns(d);
    auto s = d.table("P", uaAlter);
    addField(*s, "C", dtString, 10)->UpgradeAction = uaDrop;
    alterField(*s, "B", dtString, 10, "B2");
    addIndex(*s, "IX_NEW", "C,D");
    TTableStrEngine e;
    load(e, *s);
    EXPECT_EQ(failure(e), "");
    EXPECT_EQ(rowsOf(e.TInd, IndexCols),
              QStringList({"|PRIMARY KEY|A|1|0", "A|IX_BC|B2|0|0", "D|IX_C|C|0|0"}));
    // The key itself cannot lose its first column.
    auto k = d.table("P", uaAlter);
    addField(*k, "A", dtInteger)->UpgradeAction = uaDrop;
    TTableStrEngine e2;
    load(e2, *k);
    EXPECT_EQ(failure(e2), "TS_P. Blank columns for PRIMARY KEY");
}

TEST(EngineSets, AssignStructureWritesWhatChangedOnly)
{
    SchemaDb d;
    fourColumns(d);
    auto child = d.table("Q");
    addField(*child, "Q_ID", dtInteger, 0, foRequired);
    addField(*child, "A", dtInteger);
    addIndex(*child, "PRIMARY KEY", "Q_ID", idxPrimary);
    addLink(*child, "P", "A", "A", daNone);
    child->SetInsertBody({"-- kept"});
    child->Execute();
    auto s = d.table("Q", uaAlter);
    alterField(*s, "A", dtInteger, 0, "a");                  // only the case
    alterField(*s, "Q_ID", dtInteger)->Options = foRequired; // unchanged
    s->SetInsertBody({"-- kept", "  "});
    s->SetReplication(true);
    TTableStrEngine e;
    load(e, *s);
    e.AssignStructure();
    ASSERT_EQ(e.TS.Fields().Count(), 1);
    EXPECT_EQ(e.TS.Fields().Items(0)->NewName, "");
    EXPECT_TRUE(e.TS.InsertBody().isEmpty());
    EXPECT_EQ(e.TS.TriggersChanged, 7); // replication switched on
    EXPECT_EQ(e.TS.ReplicationChange, 1);
    // Dropping the referencing field drops the link whose key holds it.
    auto drop = d.table("Q", uaAlter);
    addField(*drop, "A", dtInteger)->UpgradeAction = uaDrop;
    TTableStrEngine e2;
    load(e2, *drop);
    e2.AssignStructure();
    ASSERT_EQ(e2.TS.Links().Count(), 1);
    EXPECT_EQ(e2.TS.Links().Items(0)->UpgradeAction, uaDrop);
}

TEST(EngineSets, HandlersMarkMoveAndRevertRows)
{
    SchemaDb d;
    fourColumns(d);
    TTableStrEngine e;
    VisibleView view;
    e.SetView(&view);
    auto s = d.table("P", uaAlter);
    e.LoadStructure(*s);
    const auto go = [&e](const char* name) {
        ASSERT_TRUE(e.TFields.locate("NEW_NAME", Variant(QString(name))));
    };
    const auto order = [&e] { return rowsOf(e.TFields, {"NEW_NAME"}).join(','); };
    // A row inserted under A, a row moved up and one moved down.
    go("B");
    e.gFieldsInsertKey();
    e.TFields.fieldByName("NEW_NAME")->setAsString("N");
    e.TFields.fieldByName("DT")->setAsString("int");
    e.TFields.post();
    EXPECT_EQ(order(), "A,N,B,C,D");
    EXPECT_EQ(rowsOf(e.TFields, {"UA", "DT", "DATATYPE"})[1], "C|Integer|1");
    go("D");
    e.tbUpClick();
    EXPECT_EQ(order(), "A,N,B,D,C");
    go("A");
    e.tbDownClick();
    EXPECT_EQ(order(), "N,A,B,D,C");
    // Reverting puts a row back at its loaded place, above the rows there, and clears its mark.
    go("A");
    e.gFieldsCellClick("HIDDEN");
    e.tbRevFldClick();
    EXPECT_EQ(order(), "A,N,B,D,C");
    go("B");
    e.tbRevFldClick();
    EXPECT_EQ(order(), "A,B,N,D,C");
    EXPECT_EQ(rowsOf(e.TFields, {"UA"}).join(','), ",,C,,");
    // An existing field is only marked dropped, a new one goes; a wrong type is refused.
    go("C");
    e.tbDelFldClick();
    go("N");
    e.tbDelFldClick();
    EXPECT_EQ(rowsOf(e.TFields, {"UA", "NEW_NAME"}).join(','), "|A,|B,|D,D|C");
    go("B");
    e.TFields.edit();
    EXPECT_THROW(e.TFields.fieldByName("DT")->setAsString("xyz"), EDBKernelError);
    e.TFields.cancel();
    // Hidden alone is metadata; the key's field stays required.
    e.gFieldsCellClick("HIDDEN");
    EXPECT_EQ(rowsOf(e.TFields, {"UA", "ONLY_META"})[1], "A|1");
    e.gFieldsCellClick("HIDDEN");
    EXPECT_EQ(rowsOf(e.TFields, {"UA"})[1], "");
    go("A");
    EXPECT_THROW(e.gFieldsCellClick("REQUIRED"), EDBKernelError);
    // Links come only through the new link dialog.
    EXPECT_THROW(e.TLink.append(), EAbort);
    EXPECT_EQ(e.TLink.state(), DataSet::State::Browse);
    // One clustered index: setting it on IX_BC takes it from the key.
    e.TInd.first();
    e.gIndCellClick("CLASTERED");
    ASSERT_TRUE(e.TInd.locate("NEW_NAME", Variant(QString("IX_BC"))));
    e.gIndCellClick("CLASTERED");
    // The members of an index as the user arranged them; a pending edit posted on a page
    // change.
    ASSERT_TRUE(e.TInd.locate("NEW_NAME", Variant(QString("IX_C"))));
    e.StoreIndexMembers({"D", "C"});
    EXPECT_EQ(rowsOf(e.TInd, IndexCols),
              QStringList({"A|PRIMARY KEY|A|1|0", "A|IX_BC|B,C|0|1", "A|IX_C|D,C|0|0"}));
    go("D");
    e.TFields.edit();
    e.TFields.fieldByName("METATYPE")->setAsString("CODE");
    e.PCChange();
    EXPECT_EQ(e.TFields.state(), DataSet::State::Browse);
    EXPECT_EQ(rowsOf(e.TFields, {"UA", "NEW_NAME", "ONLY_META"})[2], "A|D|1");
}
