// Cached datasets: the fields a load defines (pseudo-fields, row identifiers, types by metadata),
// the loads by key and range on every server kind, long texts of MS SQL Server, field names,
// automatic lookup sources, reloads of the descriptions, and the dataset actions.
#include "kernel_helpers.h"

#include <kernel/dbcache.h>
#include <platform/db/localtable.h>
#include <platform/db/odbcdriver.h>

#include <support/db_helpers.h>
#include <support/kernel_schema.h>
#include <support/workspace.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

// The practice with the table FICHES of the cache tests.
struct CachePractice : Practice
{
    explicit CachePractice(int kind = 3) : Practice(kind)
    {
        kernel.execScript(QStringLiteral("fiches.sql"));
        access.LoadMetaData();
        recorder->statements.clear();
    }
};

// "NAME:Type[size]" per field, "-" after a hidden one; or "error: " and the kernel's message.
template <typename Load> QString layoutAfter(TDBCache& c, Load load)
{
    const QString error = kernelErrorOf(load);
    if (error != QLatin1String("<no EDBKernelError>"))
        return QStringLiteral("error: ") + error;
    QStringList out;
    for (int i = 0; i < c.fieldCount(); ++i) {
        const Field* f = c.field(i);
        out.append(f->fieldName() + QLatin1Char(':') + fieldTypeName(f->dataType()) +
                   (f->size() ? QString::number(f->size()) : QString()) +
                   (f->isVisible() ? QString() : QStringLiteral("-")));
    }
    return out.join(QLatin1Char(','));
}

QStringList column(TDBCache& c, const QString& name)
{
    QStringList values;
    for (c.first(); !c.eof(); c.next())
        values.append(c.FieldByName(name)->displayText());
    return values;
}

} // namespace

TEST(CachedLoads, TheFieldsALoadDefines)
{
    CachePractice p;
    auto r = p.request();
    TDBCache c;
    c.setObjectName("C");
    c.SetRequest(r.get());
    const struct
    {
        const char* fields;
        const char* layout;
    } cases[] = {
        // The table's own UPDATE_ID pushes the row identifier to UPDATE_ID0; a date, a Boolean
        // kept as an integer and a text longer than 255 take their metadata's types.
        {"", "FICHES_ID:Integer,UPDATE_ID:Integer,NE_LE:DateTime,ACTIF:Boolean,NOTE:Memo,"
             "MONTANT:Currency,HEURE:DateTime,TAUX:Float,LIBELLE:String45,SEXE:String1,"
             "NOM:String30,UPDATE_ID0:Integer-"},
        {"FICHES_ID,CALC(TOTAL.MONEY),CALC(TXT.CHAR(30)),CALC(QUAND.DATETIME),"
         "LOOK(DOC.MEDECINS.NOM.ACTIF)",
         "FICHES_ID:Integer,TOTAL:Currency,TXT:String30,QUAND:DateTime,DOC:String40,"
         "UPDATE_ID:Integer-"},
        {"FICHES_ID,CALC(X.CHAR)",
         "error: Req. Invalid calculated field descriptor: CALC(X.CHAR)."},
        {"FICHES_ID,LOOK(X)", "error: Req. Invalid lookup field descriptor: LOOK(X)."},
        {"NOM", "error: FICHES: key fields 'FICHES_ID' not found."},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.fields);
        EXPECT_EQ(layoutAfter(c, [&] { c.LoadKey("FICHES", "FICHES_ID", {1}, k.fields); }),
                  k.layout);
    }
    c.LoadKey("FICHES", "FICHES_ID", {1}, QString::fromLatin1(cases[1].fields));
    EXPECT_EQ(c.LookupDescriptors(), "DOC=LOOK(DOC.MEDECINS.NOM.ACTIF)");
    EXPECT_TRUE(c.FieldByName("TOTAL")->isNull());

    // Calculated select items of a compiled request are typed by their descriptors too.
    addFrom(*r, "FICHES", "F");
    addSelect(*r, "F", "FICHES_ID");
    addSelect(*r, QString(), "CALC(TOTAL.MONEY)");
    EXPECT_EQ(layoutAfter(c, [&] { c.LoadData(); }),
              "FICHES_ID:Integer,TOTAL:Currency,UPDATE_ID:Integer-");
    EXPECT_EQ(c.recordCount(), 7);

    // A second load from the request while it fills a cache is refused; the first cache
    // stays usable.
    TDBCache second;
    second.setObjectName("C2");
    second.SetRequest(r.get());
    c.AfterOpen = [&](DataSet&) { second.LoadData(); };
    EXPECT_EQ(kernelErrorOf([&] { c.LoadData(); }),
              "Req erorr: \"Attempt load cache C2 while loading another cache\".");
    c.AfterOpen = nullptr;
    c.LoadData();
    EXPECT_EQ(c.recordCount(), 7);

    EXPECT_EQ(kernelErrorOf([&] { c.FieldPropsByName("TOTAL"); }),
              "FICHES: properties for field 'TOTAL' not found.");

    // The rows stay when the request goes; the cache leaves the open caches.
    auto gone = p.request();
    gone->SetSQLText("select * from FICHES");
    TDBCache kept;
    kept.SetRequest(gone.get());
    kept.Open();
    EXPECT_TRUE(p.access.OpenCaches().contains(&kept));
    gone.reset();
    EXPECT_EQ(kept.Request(), nullptr);
    EXPECT_EQ(kept.recordCount(), 7);
    EXPECT_FALSE(p.access.OpenCaches().contains(&kept));

    // Without a request, without an access component, without the main table's key.
    TDBCache bare;
    bare.setObjectName("B");
    EXPECT_EQ(kernelErrorOf([&] { bare.LoadKey("FICHES", "FICHES_ID", {1}); }),
              "B cannot load key: not assigned Request.");
    EXPECT_EQ(kernelErrorOf([&] { bare.LoadRange("FICHES", "FICHES_ID", {1}, {2}); }),
              "B cannot load range: not assigned Request.");
    EXPECT_EQ(kernelErrorOf([&] { bare.Open(); }), "B cannot load data: not assigned Request.");
    TDBRequest lone;
    lone.setObjectName("Lone");
    bare.SetRequest(&lone);
    EXPECT_EQ(kernelErrorOf([&] { bare.Open(); }), "Lone cannot load data: not assigned DBAccess.");
    EXPECT_EQ(kernelErrorOf([&] { bare.GetKeyFields(); }), "B: key fields properties not found");
    auto joined = p.request();
    addFrom(*joined, "PATIENTS", "P");
    addFrom(*joined, "VISITS", "V", "P");
    addSelect(*joined, "P", "NOM");
    addSelect(*joined, "V", "MONTANT");
    bare.SetRequest(joined.get());
    EXPECT_EQ(kernelErrorOf([&] { bare.Open(); }),
              "PATIENTS: key field PATIENTS_ID not found at dataset.");
}

// Step 4 of a fill types the columns: a DATE column stays a date without a description; on the
// local kind described dates and expression items typed as dates become date-times, money
// expressions money; Oracle takes expression items typed as integers and Booleans as such.
TEST(CachedLoads, ColumnTypesByDescriptionExpressionAndServerKind)
{
    const struct
    {
        int kind;
        const char* described;
        const char* plain;
    } cases[] = {
        {3,
         "NE_LE:DateTime,J:DateTime,B:Boolean,M:Currency,I:Float,FICHES_ID:Integer,UPDATE_ID:"
         "Integer-",
         "D:Date,H:DateTime"},
        {2, "NE_LE:Date,J:Date,B:Boolean,M:Float,I:Integer,FICHES_ID:Integer,UPDATE_ID:Integer-",
         "D:Date,H:DateTime"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.kind);
        CachePractice p(k.kind);
        p.access.SetPacketRecords(-1);
        auto r = p.request();
        addFrom(*r, "FICHES", "F");
        addSelect(*r, "F", "NE_LE");
        for (const auto& [text, alias, type] : {std::tuple{"F.NE_LE", "J", dtDate},
                                                {"F.ACTIF", "B", dtBoolean},
                                                {"F.TAUX", "M", dtMoney},
                                                {"F.TAUX", "I", dtInteger}}) {
            TSelectItem* s = addSelect(*r, QString(), text, alias, type);
            s->SetIsExpr(true);
            s->SetExprOrg("F");
        }
        addSelect(*r, "F", "FICHES_ID");
        TDBCache c;
        c.SetRequest(r.get());
        EXPECT_EQ(layoutAfter(c, [&] { c.Open(); }), k.described);
        // A null Boolean after a set one stays null.
        QList<bool> nulls;
        for (c.first(); c.recNo() <= 3 && !c.eof(); c.next())
            nulls.append(c.FieldByName("B")->isNull());
        EXPECT_EQ(nulls, QList<bool>({false, false, true}));
        auto plain = p.request();
        plain->SetSQLText("select NE_LE D, HEURE H from FICHES");
        c.SetRequest(plain.get());
        EXPECT_EQ(layoutAfter(c, [&] { c.LoadData(); }), k.plain);
    }
}

class CachedLoadsOnServers : public ::testing::TestWithParam<int>
{
};

// Direct loads write their statements line by line, blanks included; MS SQL Server takes the
// packet size (50) as "TOP 50".
TEST_P(CachedLoadsOnServers, KeyAndRangeStatements)
{
    const int kind = GetParam();
    CachePractice p(kind);
    const QString null = kind == 1 ? "convert(money,null)" : "cast('' as Numeric(20,6))";
    const QString key =
        "select FICHES_ID,NOM," + null + " TOTAL from FICHES \nwhere  FICHES_ID = ? ";
    const QString range = QString(kind == 1 ? "select TOP 50" : "select ") +
                          " * from FICHES \nwhere  NOM >= ? and NOM <= ? \nand  FICHES_ID >= ? "
                          "\norder by NOM,FICHES_ID";
    const QString count = "select count(*) REC_COUNT from FICHES \nwhere  NOM >= ? and NOM <= ? ";
    p.recorder->standIns.insert(key,
                                "select FICHES_ID,NOM,null TOTAL from FICHES where FICHES_ID = ?");
    p.recorder->standIns.insert(range, "select * from FICHES where NOM >= ? and NOM <= ? and "
                                       "FICHES_ID >= ? order by NOM,FICHES_ID");
    auto r = p.request();
    TDBCache c;
    c.SetRequest(r.get());

    EXPECT_TRUE(c.LoadKey("FICHES", "FICHES_ID", {2}, "FICHES_ID,NOM,CALC(TOTAL.MONEY)"));
    EXPECT_EQ(column(c, "NOM"), QStringList({"Émile"}));
    EXPECT_FALSE(c.LoadKey("FICHES", "FICHES_ID", {99}, "FICHES_ID,NOM,CALC(TOTAL.MONEY)"));
    EXPECT_EQ(c.fieldCount(), 4);
    // Two low values and one high: the first key gets both bounds, the second only ">=".
    c.LoadRange("FICHES", "NOM;FICHES_ID", {"E", 2}, {"F"});
    EXPECT_EQ(column(c, "NOM"), QStringList({"Eve"}));
    int rows = 0;
    r->LoadRange(nullptr, rows, "FICHES", "NOM", {"E"}, {"Z"}, QString());
    EXPECT_EQ(rows, 2); // Eve, Fabre: accented and Cyrillic names sort after "Z" in the file
    EXPECT_EQ(p.recorder->statements, QStringList({key, key, range, count}));

    EXPECT_EQ(kernelErrorOf([&] {
                  c.LoadKey("FICHES", "FICHES_ID", {1, 2});
              }),
              "Req LoadKey: fields index out of bound.");
    EXPECT_EQ(kernelErrorOf([&] {
                  c.LoadRange("FICHES", "NOM", {"A", 1}, {});
              }),
              "Req LoadRange: fields index out of bound.");
}

INSTANTIATE_TEST_SUITE_P(Kinds, CachedLoadsOnServers, ::testing::Values(1, 2));

TEST(CachedLoads, KeyLoadOfTheMsSqlKindThroughOdbc)
{
    if (!sqliteOdbcReady())
        GTEST_SKIP() << "the SQLite ODBC driver is not registered: run scripts/setup";
    AccessOnKernel s("ODBCMS");
    s.kernel.exec(kernelschema::createTables());
    s.kernel.execScript("practice.sql");
    s.kernel.execScript("fiches.sql");
    ConnectionParams params;
    params.setValue(odbcdb::ConnectionStringParam, "DRIVER={SQLite3};Database=" + s.kernel.file());
    AliasRegistry::global().modify("ODBCMS", "MSSQL", params);
    s.access.UpdateServerKind();
    s.access.LoadMetaData();
    ASSERT_EQ(s.access.ServerKind(), 1);
    TDBRequest r;
    r.SetDBAccess(&s.access);
    TDBCache c;
    c.SetRequest(&r);
    EXPECT_TRUE(c.LoadKey("FICHES", "FICHES_ID", {5}, "FICHES_ID,NOM"));
    EXPECT_EQ(column(c, "NOM"), QStringList({"Ильин"}));
    EXPECT_FALSE(c.LoadKey("FICHES", "FICHES_ID", {99}, "FICHES_ID,NOM"));
    EXPECT_EQ(c.recordCount(), 0);
}

// The data-access layer of MS SQL Server cuts a memo at the blob size (32 KB), as the recording
// connection does here; the rest comes by key in pieces of at most that size, until the server's
// length or an empty piece.
TEST(CachedLoads, LongMemosOfMsSqlAreReadInPieces)
{
    CachePractice p(1);
    p.access.SetPacketRecords(-1);
    QString note;
    for (int i = 0; i < 70000; ++i)
        note += QChar('a' + (i / 1000) % 26);
    Params texts;
    texts.add("LONG").setAsMemo(note);
    texts.add("SHORT").setAsMemo(note.left(40000));
    p.db.execute("update FICHES set NOTE = case FICHES_ID when 1 then :LONG else :SHORT end "
                 "where FICHES_ID in (1, 2)",
                 &texts);
    auto r = p.request();
    addFrom(*r, "FICHES", QString());
    addSelect(*r, QString(), "*");
    r->SetCompiled(true);
    const QString select = r->CompiledText();
    const QString length = "select DATALENGTH(NOTE) FSIZE from FICHES where FICHES_ID=?";
    auto piece = [](int offset, int count) {
        return QString("declare @ptr_text varbinary(16)\nselect @ptr_text = TEXTPTR(NOTE) from "
                       "FICHES where FICHES_ID=?\nREADTEXT FICHES.NOTE @ptr_text %1 %2")
            .arg(offset)
            .arg(count);
    };
    auto& standIns = p.recorder->standIns;
    // The server claims 80000 bytes for the second text, which holds 40000.
    standIns.insert(length, "select case FICHES_ID when 2 then 80000 else length(NOTE) end "
                            "from FICHES where FICHES_ID=?");
    for (const auto& [offset, count] : {std::pair{32768, 32768}, {65536, 4464}, {40000, 32768}})
        standIns.insert(piece(offset, count),
                        QString("select substr(NOTE, %1, %2) from FICHES where FICHES_ID=?")
                            .arg(offset + 1)
                            .arg(count));
    p.recorder->statements.clear();
    p.recorder->textCut = 32768;

    TDBCache c;
    c.SetRequest(r.get());
    c.Open();
    EXPECT_EQ(p.recorder->statements,
              QStringList({select, length, piece(32768, 32768), piece(65536, 4464), length,
                           piece(32768, 32768), piece(40000, 32768)}));
    c.first();
    EXPECT_EQ(c.FieldByName("NOTE")->asString(), note);
    c.next();
    EXPECT_EQ(c.FieldByName("NOTE")->asString(), note.left(40000));
}

TEST(CachedLoads, FieldsAreFoundUnderTheirLegacyNames)
{
    CachePractice p(2);
    auto r = p.request();
    r->SetSQLText("select FICHES_ID PATIENTS_ID, NOM PRENOM, NE_LE, FICHES_ID MEDECINS_ID, "
                  "FICHES_ID MEDTRAIT_ID, TAUX LEVEL_, TAUX SIZE_ from FICHES");
    TDBCache c;
    c.setObjectName("Patients");
    c.SetRequest(r.get());
    c.Open();
    const struct
    {
        const char* asked;
        const char* found;
    } cases[] = {
        {"N_PATIENT", "PATIENTS_ID"},
        {"patient_id", "PATIENTS_ID"},
        {"Prénom", "PRENOM"},
        {"prenom", "PRENOM"},
        {"Date de naissance", "NE_LE"},
        {"N_MEDECIN", "MEDECINS_ID"},
        {"Medecin_ID", "MEDECINS_ID"},
        {"N_MEDECINTR", "MEDTRAIT_ID"},
        // Oracle: a reserved word's field carries "_"; SIZE is not one of Oracle's words.
        {"level", "LEVEL_"},
        {"SIZE", ""},
        {"PRÉNOM", ""},
    };
    for (const auto& k : cases) {
        const Field* f = c.FindField(QString::fromUtf8(k.asked));
        EXPECT_EQ(f ? f->fieldName() : QString(), k.found) << k.asked;
    }
    try {
        c.FieldByName("PRÉNOM");
        ADD_FAILURE() << "no error";
    } catch (const EDBEditError& e) {
        EXPECT_EQ(e.message(), "Patients : Champ 'PRÉNOM' non trouvé");
    }
}

TEST(CachedLoads, AnAutomaticLookupSourceIsMadeOnceAndFetchesItsKeyNextTime)
{
    CachePractice p;
    p.access.SetAutoLookups(true);
    const TLookupDescription doctors{"MEDECINS", "MEDECINS_ID", "NOM"};
    DataSet* source = p.access.GetLookupSource(doctors);
    EXPECT_EQ(p.access.GetLookupSource(doctors), source);
    auto* cache = qobject_cast<TDBCache*>(source);
    ASSERT_TRUE(cache);
    cache->Request()->Select().Delete(0);
    cache->Open();
    EXPECT_EQ(cache->fieldNames(), QStringList({"NOM", "UPDATE_ID"}));
    EXPECT_EQ(p.access.GetLookupSource(doctors), source);
    EXPECT_FALSE(cache->Active());
    cache->Open();
    EXPECT_EQ(cache->fieldNames(), QStringList({"NOM", "MEDECINS_ID", "UPDATE_ID"}));
    EXPECT_EQ(cache->lookup("MEDECINS_ID", {2}, "NOM").toString(), "Martin");
}

// Open caches and caches restored from their local file follow every kind of reload of the
// descriptions: of one table (a field no longer described leaves the request), of a table no
// longer described, of every table, and of the whole metadata as a start-up loads it.
TEST(CachedLoads, ReloadsMoveOpenAndRestoredCaches)
{
    const struct
    {
        const char* reload;
        const char* sql;
        std::function<void(TDBAccess&)> run;
        bool described;
    } cases[] = {
        {"one table", "delete from METAFIELD where TABLE_NAME = 'FICHES' and FIELD_NAME = 'NOTE'",
         [](TDBAccess& a) { a.LoadTableProps("fiches"); }, true},
        {"a table gone",
         "delete from METAFIELD where TABLE_NAME = 'FICHES'; "
         "delete from METATABLE where TABLE_NAME = 'FICHES'",
         [](TDBAccess& a) { a.LoadTableProps("FICHES"); }, false},
        {"all tables", "delete from METAFIELD where TABLE_NAME = 'FICHES' and FIELD_NAME = 'NOTE'",
         [](TDBAccess& a) { a.LoadTableProps(); }, true},
        {"the metadata again",
         "delete from METAFIELD where TABLE_NAME = 'FICHES' and FIELD_NAME = 'NOTE'",
         [](TDBAccess& a) { a.LoadMetaData(); }, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.reload);
        CachePractice p;
        p.access.SetCachePath(p.programFolder.path());
        auto makeRequest = [&p](const QString& alias) {
            auto r = p.request();
            addFrom(*r, "FICHES", "F");
            for (const char* name : {"FICHES_ID", "NOM", "NOTE"})
                addSelect(*r, "F", name);
            r->SetCached(!alias.isEmpty());
            r->SetCacheAlias(alias);
            return r;
        };
        auto plain = makeRequest(QString());
        auto cached = makeRequest("Fiches");
        TDBCache open, first, restored;
        open.SetRequest(plain.get());
        first.SetRequest(cached.get());
        restored.SetRequest(cached.get());
        open.Open();
        first.Open();
        restored.Open(); // from the file the first load wrote
        EXPECT_FALSE(p.access.OpenCaches().contains(&restored));
        EXPECT_EQ(restored.recordCount(), 7);

        const TTableProps* old = p.access.FindTableProps("FICHES");
        p.kernel.exec(k.sql);
        k.run(p.access);
        const TTableProps* fresh = p.access.FindTableProps("FICHES");
        EXPECT_EQ(fresh != nullptr, k.described);
        EXPECT_NE(fresh, old);
        for (TDBCache* c : {&open, &restored}) {
            EXPECT_EQ(c->GetTableProps(), fresh);
            EXPECT_EQ(c->HasKeyTable(), k.described);
            EXPECT_EQ(c->FindFieldProps("NOM"), fresh ? fresh->FindFieldProps("NOM") : nullptr);
            EXPECT_EQ(c->FindFieldProps("NOTE"), nullptr);
            EXPECT_EQ(c->Request()->FindSelectItem("NOTE"), nullptr);
        }
    }
}

// The order of a field list (a case-insensitive index, made once), one row per key, the labels
// and visibility of the fields, and a request that would select through the application server.
TEST(CachedLoads, OrderDuplicateKeysAndLabels)
{
    CachePractice p;
    auto r = p.request();
    addFrom(*r, "FICHES", "F");
    addSelect(*r, "F", "NOM")->SetTitle("Nom du patient");
    addSelect(*r, "F", "FICHES_ID");
    addSelect(*r, "F", "SEXE"); // hidden by its description
    addSelect(*r, "F", "NOTE")->SetDisplayMode(dmHide);
    TDBCache c;
    c.Options = coAutoDisplay;
    c.SetRequest(r.get());
    c.SetIndexFieldNames("NOM"); // remembered while closed, made by the load
    c.Open();
    EXPECT_EQ(column(c, "NOM"),
              QStringList({"Éloi", "Émile", "Eve", "Fabre", "Иванов", "Ильин", "Петров"}));
    const int indexes = c.indexDefs().count();
    c.SetIndexFieldNames("nom");
    EXPECT_EQ(c.indexDefs().count(), indexes);
    EXPECT_EQ(c.FieldByName("NOM")->displayLabel(), "Nom du patient");
    QList<bool> visible;
    for (int i = 0; i < c.fieldCount(); ++i)
        visible.append(c.field(i)->isVisible());
    EXPECT_EQ(c.fieldNames(), QStringList({"NOM", "FICHES_ID", "SEXE", "NOTE", "UPDATE_ID"}));
    EXPECT_EQ(visible, QList<bool>({true, true, false, false, false}));
    // Without an order, a key search orders by the table's key first.
    c.SetIndexFieldNames(QString());
    EXPECT_TRUE(c.FindKey({5}));
    EXPECT_EQ(c.FieldByName("NOM")->asString(), "Ильин");

    // Patients joined to their visits: one row per patient with coNoDupKeys.
    auto visits = p.request();
    addFrom(*visits, "PATIENTS", "P");
    addFrom(*visits, "VISITS", "V", "P");
    addSelect(*visits, "P", "PATIENTS_ID");
    addSelect(*visits, "V", "MONTANT");
    TDBCache joined;
    joined.SetRequest(visits.get());
    joined.Open();
    EXPECT_EQ(joined.recordCount(), 4);
    joined.Options = coNoDupKeys;
    joined.Close();
    joined.Open();
    EXPECT_EQ(column(joined, "PATIENTS_ID"), QStringList({"1", "2", "4"}));

    p.access.SetRemoteSelect(true);
    EXPECT_EQ(kernelErrorOf([&] { joined.LoadData(); }),
              "Cannot reach the application server: its folder (AppServerPath) is not set.");
    EXPECT_FALSE(QDir(p.programFolder.filePath("BATCHES")).exists());
}

namespace {

// Caches of the stays, which show the stay number (the key) under its name, another one, or not
// at all: the key search, the key order and the one row kept per key value follow the field
// selected from the key column, never a field that only bears its name.
struct KeyedStaysCase
{
    const char* name;
    const char* fields;
    const char* found;   // the reason of stay 1 as the key search finds it; null: not found
    QStringList ordered; // the reasons in the default order
    QStringList kept;    // and in load order, with one row per key, once stay 11 comes twice
};

const QStringList LoadOrder = {"Grippe", "Fracture", "Bilan", "Contrôle", "Suivi"};
const QStringList KeyOrder = {"Contrôle", "Grippe", "Fracture", "Bilan", "Suivi"};
const QStringList EveryStay = LoadOrder + QStringList({"Double"});

const KeyedStaysCase KeyedStayCases[] = {
    {"Plain", "SEJOURS_ID,MOTIF", "Contrôle", KeyOrder, LoadOrder},
    {"KeyUnderAnotherName", "SEJOURS_ID as ID,MOTIF", "Contrôle", KeyOrder, LoadOrder},
    {"KeyNameOnAnotherColumn", "MALADES_ID as SEJOURS_ID,MOTIF", nullptr, LoadOrder, EveryStay},
    {"KeyNameOnAnotherColumnAndKeyUnderAnother", "MALADES_ID as SEJOURS_ID,SEJOURS_ID as ID,MOTIF",
     "Contrôle", KeyOrder, LoadOrder},
};

class KeyedStays : public ::testing::TestWithParam<std::tuple<int, KeyedStaysCase>>
{
};

} // namespace

TEST_P(KeyedStays, SearchOrderAndDuplicatesGoByTheKeyColumn)
{
    const auto& [kind, c] = GetParam();
    WritePractice p(kind);
    p.access.SetPacketRecords(-1);
    // Stay 1 bears the number of the patient of stays 10, 11 and 13.
    p.kernel.exec("insert into SEJOURS values (1, 2, 'Contrôle'), (13, 1, 'Suivi')");
    CacheOn stays(p, "SEJOURS", c.fields);
    const bool found = stays->FindKey({1});
    EXPECT_EQ(found, c.found != nullptr);
    if (found) {
        EXPECT_EQ(stays->FieldByName("MOTIF")->asString(), c.found);
    }
    stays->SetIndexFieldNames(QString());
    EXPECT_EQ(stays.column("MOTIF"), c.ordered);

    p.kernel.exec("insert into SEJOURS values (11, 2, 'Double')");
    CacheOn kept(p, "SEJOURS", c.fields, coNoDupKeys);
    EXPECT_EQ(kept.column("MOTIF"), c.kept);
}

INSTANTIATE_TEST_SUITE_P(ServerKinds, KeyedStays,
                         ::testing::Combine(::testing::Values(1, 2, 3),
                                            ::testing::ValuesIn(KeyedStayCases)),
                         kindCaseName<testing::TestParamInfo<KeyedStays::ParamType>>);

// A range of names by their first letter, in the code page's order, then a key outside it.
TEST(CachedLoads, RangesOfANamePrefixThenAKeyOutsideThem)
{
    const struct
    {
        int language;
        const char* low;
        const char* high;
        QStringList names;
        const char* outside;
    } cases[] = {
        // The index made for the key ignores case and accents: "Eve" lies in the range of "É".
        {1, "É", "Éÿ", {"Éloi", "Émile", "Eve"}, "Fabre"},
        {2, "И", "Ия", {"Иванов", "Ильин"}, "Петров"},
    };
    for (const auto& k : cases) {
        TestWorkspace ws(k.language);
        CachePractice p;
        auto r = p.request();
        TDBCache c;
        c.SetRequest(r.get());
        c.LoadRange("FICHES", "NOM", {QString::fromUtf8(k.low)}, {QString::fromUtf8(k.high)});
        EXPECT_EQ(column(c, "NOM"), k.names);
        EXPECT_TRUE(c.LoadKey("FICHES", "NOM", {QString::fromUtf8(k.outside)}));
        EXPECT_EQ(column(c, "NOM"), QStringList({QString::fromUtf8(k.outside)}));
        EXPECT_EQ(readFileBytes(p.programFolder.path() + "/indexes.log"),
                  "FICHES\tidxNOM_0\tNOM\r\n");
        // In the database file the index carries its table's name (SQLite's names are global).
        EXPECT_TRUE(p.kernel.rows("select name from sqlite_master where type = 'index'")
                        .contains("FICHES$idxNOM_0"));
    }
}

// A refresh repeats while another program holds the database, up to ten tries.
TEST(DataSetActions, RetriedWhileASqliteProcessHoldsTheFile)
{
    KernelDb k;
    k.exec("create table T (A integer); insert into T values (1);");
    Database db;
    db.setDriverName("STANDARD");
    db.params().setValue(DbParam::Path, k.folder());
    db.params().setValue(DbParam::BusyTimeout, "0");
    LocalTable t;
    t.setDatabase(&db);
    t.setTableName("T");
    DataSetAction(t, 0);
    QProcess holder;
    holder.start("/usr/bin/sqlite3", {"-batch", k.file()});
    auto say = [&holder](const QByteArray& sql, const QByteArray& sign) {
        holder.write(sql + "select '" + sign + "';\n");
        QByteArray heard;
        while (!heard.contains(sign) && holder.waitForReadyRead(10000))
            heard += holder.readAllStandardOutput();
        ASSERT_TRUE(heard.contains(sign));
    };
    int waits = 0;
    int releaseAt = 0;
    SetDataSetActionWait([&](int ms) {
        EXPECT_EQ(ms, 100);
        if (++waits == releaseAt)
            say("commit;\n", "released");
    });
    say("begin exclusive;\n", "held");
    EXPECT_EQ(dbtest::engineCodeOf([&] { DataSetAction(t, 2); }), 0x2B33);
    EXPECT_EQ(waits, 9);
    waits = 0;
    releaseAt = 3;
    DataSetAction(t, 2);
    EXPECT_EQ(waits, 3);
    EXPECT_EQ(t.fieldByName("A")->asInteger(), 1);
    SetDataSetActionWait(nullptr);
    // Closing posts a pending edit first, through to the file.
    t.edit();
    t.fieldByName("A")->setAsInteger(2);
    DataSetAction(t, 1);
    EXPECT_FALSE(t.isActive());
    EXPECT_EQ(k.rows("select A from T"), QStringList({"2"}));
    holder.closeWriteChannel();
    holder.waitForFinished(10000);
}

namespace {

// A cached request on every column of FICHES under the alias "Fiches".
std::unique_ptr<TDBRequest> cachedFiches(CachePractice& p)
{
    p.access.SetCachePath(p.programFolder.path());
    auto r = p.request();
    addFrom(*r, "FICHES", "F");
    addSelect(*r, "F", "*");
    r->SetCached(true);
    r->SetCacheAlias("Fiches");
    return r;
}

// The name the next index made from a field list gets: one more than the last one made.
QString nextIndexName(CachePractice& p)
{
    auto r = p.request();
    addFrom(*r, "FICHES", "F");
    addSelect(*r, "F", "*");
    TDBCache c;
    c.SetRequest(r.get());
    c.Open();
    c.SetIndexFieldNames("SEXE;NOM");
    const QString made = c.indexName();
    return QStringLiteral("idx%1A").arg(made.mid(3).chopped(1).toULongLong() + 1);
}

} // namespace

// Formats, labels and visibility of a cache restored from its file are those of the same cache
// read from the database, whatever its options.
TEST(CacheFiles, ARestoredCacheIsPresentedAsALoadedOne)
{
    const TDBCacheOptions shown = coAutoFormats | coAutoDisplay;
    for (const TDBCacheOptions options : {shown, shown | coAutoFields}) {
        SCOPED_TRACE(int(options));
        TestWorkspace ws(1);
        CachePractice p;
        p.kernel.exec("update METAFIELD set CUSTOM = 'Label=Nom du patient' where FIELD_NAME = "
                      "'NOM'");
        p.access.LoadMetaData();
        p.access.SetLanguage(krnLangFRA);
        auto r = cachedFiches(p);
        // label, visible, first row's text, per field of interest
        auto presented = [](TDBCache& c) {
            QStringList out;
            c.first();
            for (const char* name : {"NOM", "SEXE", "ACTIF", "NE_LE", "MONTANT", "UPDATE_ID0"}) {
                const Field* f = c.FieldByName(name);
                out.append(f->displayLabel() + '|' + (f->isVisible() ? "shown" : "hidden") + '|' +
                           f->displayText());
            }
            return out;
        };
        TDBCache loaded, restored;
        loaded.Options = restored.Options = options;
        loaded.SetRequest(r.get());
        restored.SetRequest(r.get());
        loaded.Open();
        ASSERT_TRUE(QFile::exists(p.programFolder.path() + "/fiches.dat"));
        restored.Open();
        const QStringList expected{"Nom du patient|shown|Éloi", "SEXE|hidden|Femme",
                                   "ACTIF|shown|Oui",           "NE_LE|shown|01/02/2005",
                                   "MONTANT|shown|1 234,50",    "UPDATE_ID0|hidden|"};
        EXPECT_EQ(presented(loaded), expected);
        EXPECT_EQ(presented(restored), expected);
        p.access.SetLanguage(krnLangUnknown);
    }
}

// An index name kept in a cache file (made in an earlier run, whose counter started where this
// one's does) is never made again for another field list.
TEST(CacheFiles, ARestoredIndexNameIsNotMadeAgain)
{
    CachePractice p;
    auto r = cachedFiches(p);
    TDBCache first;
    first.SetRequest(r.get());
    first.SetIndexFieldNames("NOM");
    first.Open();
    const QString file = p.programFolder.path() + "/fiches.dat";
    // The file as an earlier run left it: its index named as this run's next one will be.
    const QString taken = nextIndexName(p);
    MemDataSet forged;
    forged.loadFromFile(file);
    ASSERT_EQ(forged.indexDefs().count(), 1);
    forged.deleteIndex(forged.indexDefs().list().first().name);
    forged.addIndex(taken, "NOM", IndexDef::CaseInsensitive);
    forged.saveToFile(file);

    TDBCache restored;
    restored.SetRequest(r.get());
    restored.Open();
    restored.SetIndexFieldNames("FICHES_ID");
    EXPECT_NE(restored.indexName(), taken);
    EXPECT_EQ(column(restored, "FICHES_ID"), QStringList({"1", "2", "3", "4", "5", "6", "7"}));
    restored.SetIndexFieldNames("NOM");
    EXPECT_EQ(restored.indexName(), taken);
}

// Only a complete result goes into the cache file: a fill cut at the packet size is read from
// the database again next time, and says that more rows wait.
TEST(CacheFiles, APartialFillIsNotSaved)
{
    const struct
    {
        int packet;
        int rows;
        bool more;
        bool saved;
    } cases[] = {
        {3, 3, true, false},
        {-1, 7, false, true},
        {10, 7, false, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.packet);
        CachePractice p;
        auto r = cachedFiches(p);
        r->SetParentPacketRecords(false);
        r->SetPacketRecords(k.packet);
        for (const char* load : {"from the database", "again"}) {
            SCOPED_TRACE(load);
            TDBCache c;
            c.SetRequest(r.get());
            c.Open();
            EXPECT_EQ(c.recordCount(), k.rows);
            EXPECT_EQ(c.MoreRecords(), k.more);
            EXPECT_EQ(QFile::exists(p.programFolder.path() + "/fiches.dat"), k.saved);
        }
    }
}
