// Writing cached rows back to MS SQL Server and Oracle: the statements as the servers get them
// (recording driver over SQLite, expected texts written from the required behaviour), long texts,
// trace rows and their enciphered copy, a trace that cannot be written; and the plumbing through
// the SQLite ODBC driver as MS SQL Server.
#include "kernel_helpers.h"

#include <kernel/dbcache.h>
#include <platform/codepage.h>
#include <platform/db/odbcdriver.h>
#include <platform/support/cipher.h>

#include <support/kernel_schema.h>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

const QString Now = QStringLiteral("2024-03-01 10:20:30");

// The write-back practice on a server kind, with what SQLite runs for the server's own
// statements.
struct ServerPractice : WritePractice
{
    explicit ServerPractice(int kind) : WritePractice(kind)
    {
        recorder->standIns.insert("select user_id() UID", "select 7 UID");
        recorder->standIns.insert("select uid \"UID\" from DUAL", "select 7 UID");
        recorder->standIns.insert("select GetDate() D", "select '" + Now + "' D");
        recorder->standIns.insert("select SYSDATE D from DUAL", "select '" + Now + "' D");
        access.SetTraceLogWait([this](int ms) { waits.append(ms); });
        // No row limit: SQLite knows neither TOP nor ROWNUM.
        access.SetPacketRecords(-1);
        recorder->transactions.clear();
    }
    // The values of the last run of the statement.
    VariantList valuesOf(const QString& statement) const
    {
        for (qsizetype i = recorder->runs.size() - 1; i >= 0; --i) {
            if (recorder->runs.at(i).first == statement)
                return recorder->runs.at(i).second;
        }
        return {};
    }
    QList<int> waits;
};

const QString TraceInsert = "insert into KRN_SYS_TRACE_LOG(TABLE_NAME, REC_ID, ACTION,LOG,LOG_DATA)"
                            "\nvalues('MALADES', %1, ?,?,?)";

QString crlf(const QStringList& lines)
{
    return lines.join("\r\n") + "\r\n";
}

} // namespace

TEST(ServerWriteBack, AnUpdateFindsTheRowByItsKeyBeforeTheEditAndIsTraced)
{
    ServerPractice p(1);
    CacheOn m(p, "MALADES");
    ASSERT_TRUE(m->locate("MALADES_ID", 2));
    m->edit();
    m->FieldByName("MALADES_ID")->setAsInteger(20);
    m->FieldByName("NOM")->setAsString("Bertrand");
    p.recorder->statements.clear();
    m->post();
    const QString update = "update MALADES set \nMALADES_ID=?\n,NOM=?\nwhere MALADES_ID=?";
    EXPECT_EQ(p.recorder->statements, QStringList({update, "select user_id() UID",
                                                   "select GetDate() D", TraceInsert.arg(2)}));
    EXPECT_EQ(p.valuesOf(update), VariantList({20, "Bertrand", 2}));
    EXPECT_EQ(p.recorder->transactions, QStringList({"BEGIN", "COMMIT"}));
    const QString log = crlf({"UserID=7", "DateTime=" + Now, "Action=UPDATE", "MALADES_ID_OLD=2",
                              "MALADES_ID_NEW=20", "NOM_OLD=Bernard", "NOM_NEW=Bertrand"});
    EXPECT_EQ(p.valuesOf(TraceInsert.arg(2)),
              VariantList({"U", log, EncryptToHex(codepage::toAnsi(log))}));
    EXPECT_EQ(p.kernel.rows("select MALADES_ID, NOM from MALADES order by 1"),
              QStringList({"1|Arnaud", "3|Claude", "20|Bertrand"}));
    EXPECT_EQ(p.kernel.rows("select TABLE_NAME, REC_ID, ACTION from KRN_SYS_TRACE_LOG"),
              QStringList({"MALADES|2|U"}));
}

TEST(ServerWriteBack, OracleGetsItsBooleansAsCharacters)
{
    ServerPractice p(2);
    CacheOn n(p, "NOTES");
    p.recorder->statements.clear();
    p.recorder->runs.clear();
    for (const bool urgent : {false, true}) {
        n->append();
        n->FieldByName("NOTES_ID")->setAsInteger(urgent ? 6 : 5);
        n->FieldByName("TEXTE")->setAsString("note");
        n->FieldByName("URGENT")->setAsBoolean(urgent);
        n->post();
    }
    const QString insert = "insert into NOTES\n(NOTES_ID,TEXTE,URGENT)\nvalues(?,?,?)";
    // Prepared once, run twice.
    EXPECT_EQ(p.recorder->statements, QStringList({insert}));
    ASSERT_EQ(p.recorder->runs.size(), 2);
    EXPECT_EQ(p.recorder->runs.at(0).second, VariantList({5, "note", "F"}));
    EXPECT_EQ(p.recorder->runs.at(1).second, VariantList({6, "note", "T"}));
    EXPECT_EQ(p.kernel.rows("select * from NOTES where NOTES_ID > 1 order by 1"),
              QStringList({"5|note|F", "6|note|T"}));
}

TEST(ServerWriteBack, LongTextsOfMsSqlAreAppendedInPiecesThatJoinBack)
{
    ServerPractice p(1);
    p.recorder->acceptUnknown = true;
    CacheOn m(p, "MALADES", "MALADES_ID,NOM,NOTE");
    const QString fits(32768, 'z');
    const QString longer = "début\r\n" + QString(32762, 'y');
    ASSERT_EQ(longer.size(), 32769);
    const QString update = "update MALADES set \nNOTE=?\nwhere MALADES_ID=?";

    // 32768 characters go within the statement.
    ASSERT_TRUE(m->locate("MALADES_ID", 3));
    m->edit();
    m->FieldByName("NOTE")->setAsString(fits);
    p.recorder->statements.clear();
    m->post();
    EXPECT_EQ(p.recorder->statements.first(), update);
    EXPECT_EQ(p.valuesOf(update), VariantList({fits, 3}));
    EXPECT_FALSE(p.recorder->statements.join('\n').contains("updatetext"));

    // One more is sent empty, then appended whole lines at a time, line ends included.
    m->edit();
    m->FieldByName("NOTE")->setAsString(longer);
    p.recorder->statements.clear();
    m->post();
    const QString append = "declare @ptr_text binary(16),@pos int\n"
                           "select @ptr_text = TEXTPTR(NOTE) from MALADES\n"
                           "where MALADES_ID = ?\n"
                           "updatetext MALADES.NOTE @ptr_text null 0 ?\n"
                           "updatetext MALADES.NOTE @ptr_text null 0 ?";
    ASSERT_GE(p.recorder->statements.size(), 2);
    EXPECT_EQ(p.recorder->statements.mid(0, 2), QStringList({update, append}));
    EXPECT_EQ(p.valuesOf(update), VariantList({"", 3}));
    const VariantList pieces = p.valuesOf(append);
    ASSERT_EQ(pieces.size(), 3);
    EXPECT_EQ(pieces.at(0).toInt64(), 3);
    EXPECT_EQ(pieces.at(1).toString(), "début\r\n");
    EXPECT_EQ(pieces.at(2).toString(), QString(32762, 'y'));
    EXPECT_EQ(pieces.at(1).toString() + pieces.at(2).toString(), longer);
}

TEST(ServerWriteBack, TraceCopiesAreEncipheredIn510CharacterPieces)
{
    ServerPractice p(2);
    p.kernel.exec("update MALADES set ACTIF = 0 where MALADES_ID = 3");
    CacheOn m(p, "MALADES");
    // The text before the new note is 77 characters: notes of 433 and 434 characters make
    // texts of 510 and 511.
    for (const int row : {2, 3}) {
        ASSERT_TRUE(m->locate("MALADES_ID", row));
        m->edit();
        m->FieldByName("NOTE")->setAsString(QString(431 + row, 'n'));
        m->post();
    }
    const QString head = crlf({"UserID=7", "DateTime=" + Now, "Action=UPDATE", "NOTE_OLD="});
    const QString at510 = head + "NOTE_NEW=" + QString(433, 'n') + "\r\n";
    const QString at511 = head + "NOTE_NEW=" + QString(434, 'n') + "\r\n";
    ASSERT_EQ(at510.size(), 510);
    EXPECT_EQ(p.valuesOf(TraceInsert.arg(2)),
              VariantList({"U", at510, EncryptToHex(codepage::toAnsi(at510))}));
    EXPECT_EQ(p.valuesOf(TraceInsert.arg(3)),
              VariantList({"U", at511,
                           EncryptToHex(codepage::toAnsi(at511.left(510))) +
                               EncryptToHex(codepage::toAnsi(at511.right(1)))}));
}

TEST(ServerWriteBack, ATraceThatCannotBeWrittenRollsTheWriteBack)
{
    ServerPractice p(1);
    p.recorder->failOn = "insert into KRN_SYS_TRACE_LOG";
    CacheOn m(p, "MALADES");
    ASSERT_TRUE(m->locate("MALADES_ID", 1));
    m->edit();
    m->FieldByName("NOM")->setAsString("Arnould");
    EXPECT_ANY_THROW(m->post());
    EXPECT_EQ(p.recorder->statements.count(TraceInsert.arg(1)), 3);
    EXPECT_EQ(p.waits, QList<int>({1000, 1000}));
    EXPECT_EQ(p.recorder->transactions, QStringList({"BEGIN", "ROLLBACK"}));
    EXPECT_EQ(m->state(), DataSet::State::Edit);
    EXPECT_EQ(p.kernel.rows("select NOM from MALADES where MALADES_ID = 1"),
              QStringList({"Arnaud"}));
    EXPECT_TRUE(p.kernel.rows("select * from KRN_SYS_TRACE_LOG").isEmpty());
}

// A traced delete reads the stored row for the columns its cache does not hold, before the row
// is deleted.
TEST(ServerWriteBack, ADeleteTracesTheRowAsItWas)
{
    ServerPractice p(1);
    CacheOn m(p, "MALADES", "MALADES_ID,NOM");
    ASSERT_TRUE(m->locate("MALADES_ID", 3));
    p.recorder->statements.clear();
    m->deleteRecord();
    const QString stored = "select * from MALADES\nwhere MALADES_ID=?";
    const QString remove = "delete from MALADES\nwhere MALADES_ID=?";
    EXPECT_EQ(p.recorder->statements, QStringList({stored, remove, "select user_id() UID",
                                                   "select GetDate() D", TraceInsert.arg(3)}));
    const QString log =
        crlf({"UserID=7", "DateTime=" + Now, "Action=DELETE", "MALADES_ID=3", "NOM=Claude",
              "MALADES_ID=3", "NOM=Claude", "ACTIF=", "NOTE=", "NE_LE="});
    EXPECT_EQ(p.valuesOf(TraceInsert.arg(3)),
              VariantList({"D", log, EncryptToHex(codepage::toAnsi(log))}));
    EXPECT_TRUE(p.kernel.rows("select * from MALADES where MALADES_ID = 3").isEmpty());
}

// A column's line comes from the field selected from that column, not from a field named like
// it: the note shown as NOM is no name, so the stored row gives the columns from NOM on.
TEST(ServerWriteBack, ADeleteTracesEachColumnFromItsOwnField)
{
    ServerPractice p(1);
    CacheOn m(p, "MALADES", "MALADES_ID,NOTE as NOM");
    ASSERT_TRUE(m->locate("MALADES_ID", 3));
    p.recorder->statements.clear();
    m->deleteRecord();
    const QString stored = "select * from MALADES\nwhere MALADES_ID=?";
    const QString remove = "delete from MALADES\nwhere MALADES_ID=?";
    EXPECT_EQ(p.recorder->statements, QStringList({stored, remove, "select user_id() UID",
                                                   "select GetDate() D", TraceInsert.arg(3)}));
    const QString log = crlf({"UserID=7", "DateTime=" + Now, "Action=DELETE", "MALADES_ID=3",
                              "MALADES_ID=3", "NOM=Claude", "ACTIF=", "NOTE=", "NE_LE="});
    EXPECT_EQ(p.valuesOf(TraceInsert.arg(3)),
              VariantList({"D", log, EncryptToHex(codepage::toAnsi(log))}));
}

// A view over a base table writes to the base table's column behind its key field; a field
// selected from another column under the key field's name holds no key there either.
TEST(ServerWriteBack, AViewFindsItsRowByTheBaseTableColumnOfItsKey)
{
    ServerPractice p(1);
    p.kernel.exec(
        "insert into METATABLE values ('V_SEJOURS', 'NUM', 0, null, 0, 'SEJOURS', 'V');"
        "insert into METAFIELD values"
        " ('V_SEJOURS', 'NUM', 1, 1, null, 1, 0, 0, null, 'SEJOURS', 'SEJOURS_ID', 1),"
        " ('V_SEJOURS', 'MALADES_ID', 1, 1, null, 1, 0, 0, null, 'SEJOURS', null, 2),"
        " ('V_SEJOURS', 'MOTIF', 0, 1, null, 3, 40, 0, null, 'SEJOURS', null, 3);"
        "create view V_SEJOURS as select SEJOURS_ID NUM, MALADES_ID, MOTIF from SEJOURS;");
    p.access.LoadMetaData();
    const QString stays = "select * from SEJOURS order by 1";

    CacheOn v(p, "V_SEJOURS", "NUM as ID,MOTIF");
    ASSERT_TRUE(v->locate("ID", 11));
    p.recorder->statements.clear();
    v->edit();
    v->FieldByName("MOTIF")->setAsString("Tout");
    v->post();
    const QString update = "update SEJOURS set \nMOTIF=?\nwhere SEJOURS_ID=?";
    EXPECT_EQ(p.recorder->statements, QStringList({update}));
    EXPECT_EQ(p.valuesOf(update), VariantList({"Tout", 11}));
    EXPECT_EQ(p.kernel.rows(stays), QStringList({"10|1|Grippe", "11|1|Tout", "12|2|Bilan"}));

    CacheOn w(p, "V_SEJOURS", "MALADES_ID as NUM,MOTIF");
    w->first();
    p.recorder->statements.clear();
    w->edit();
    w->FieldByName("MOTIF")->setAsString("Rien");
    EXPECT_EQ(kernelErrorOf([&] { w->post(); }),
              "V_SEJOURS: the key field NUM is not in the cache. Update failed.");
    EXPECT_TRUE(p.recorder->statements.isEmpty());
    EXPECT_EQ(p.kernel.rows(stays), QStringList({"10|1|Grippe", "11|1|Tout", "12|2|Bilan"}));
}

// MS SQL Server's plumbing through a real ODBC driver: an untraced update inside the caller's
// transaction, rolled back with it, and an input-output parameter read back after the run.
TEST(ServerWriteBack, ThroughTheSqliteOdbcDriver)
{
    if (!sqliteOdbcReady())
        GTEST_SKIP() << "the SQLite ODBC driver is not registered: run scripts/setup";
    AccessOnKernel s("ODBCMS");
    s.kernel.exec(kernelschema::createTables());
    s.kernel.execScript("writeback.sql");
    ConnectionParams params;
    params.setValue(odbcdb::ConnectionStringParam, "DRIVER={SQLite3};Database=" + s.kernel.file());
    AliasRegistry::global().modify("ODBCMS", "MSSQL", params);
    s.access.UpdateServerKind();
    s.access.LoadMetaData();
    s.access.SetPacketRecords(-1);
    ASSERT_EQ(s.access.ServerKind(), 1);
    TDBRequest r;
    r.SetDBAccess(&s.access);
    r.From().Add()->SetTableName("SEJOURS");
    r.Select().Add()->SetText("*");
    TDBCache c;
    c.SetRequest(&r);
    c.Open();
    ASSERT_TRUE(c.locate("SEJOURS_ID", 10));

    s.access.StartTransaction();
    c.edit();
    c.FieldByName("MOTIF")->setAsString("Angine");
    c.post();
    EXPECT_EQ(s.access.TransactionDepth(), 1);
    s.access.Commit();
    EXPECT_EQ(s.kernel.rows("select MOTIF from SEJOURS where SEJOURS_ID = 10"),
              QStringList({"Angine"}));

    s.access.StartTransaction();
    c.edit();
    c.FieldByName("MOTIF")->setAsString("Otite");
    c.post();
    s.access.Rollback();
    EXPECT_EQ(s.kernel.rows("select MOTIF from SEJOURS where SEJOURS_ID = 10"),
              QStringList({"Angine"}));

    // The driver writes no output parameter of its own: what goes in comes back, and a pure
    // output parameter comes back null.
    SqlQuery q;
    q.setDatabase(&s.db);
    q.setSql("update SEJOURS set MOTIF = MOTIF where SEJOURS_ID = :ID and :IO is not null "
             "and :OUT is null");
    q.paramByName("ID").setAsInteger(10);
    q.paramByName("IO").setParamType(ParamType::InputOutput);
    q.paramByName("IO").setAsInteger(41);
    q.paramByName("OUT").setParamType(ParamType::Output);
    q.paramByName("OUT").setDataType(FieldType::String);
    q.execSql();
    EXPECT_EQ(q.rowsAffected(), 1);
    EXPECT_EQ(q.paramByName("IO").value(), Variant(41));
    EXPECT_TRUE(q.paramByName("OUT").isNull());
}
