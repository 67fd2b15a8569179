// The macro lines of each server kind, the merge of META_MACRO rows (as the access component reads
// them, with its duplicate warnings), and kind-3 statements run on SQLite with their rows checked.
#include "kernel_helpers.h"

#include <kernel/macros.h>
#include <kernel/tokenizer.h>

#include <support/kernel_schema.h>
#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

using Rows = QList<QPair<QString, QString>>;

struct Loaded
{
    QStringList lines;
    QStringList warnings;
};

Loaded load(int kind, bool booleanAsChar, const Rows& rows = {})
{
    Loaded out;
    out.lines = BuildMacroLines(kind, booleanAsChar, rows,
                                [&out](const QString& w) { out.warnings.append(w); });
    return out;
}

// The macro table as the access component fills it from the lines.
TMacroInfo tableOf(const QStringList& lines)
{
    TMacroInfo m;
    m.SetText(lines.join("\r\n"));
    return m;
}

QString expand(int kind, bool booleanAsChar, const QString& sql, const Rows& rows = {})
{
    return ExpandMacros(tableOf(load(kind, booleanAsChar, rows).lines), sql);
}

QString duplicate(const QString& code)
{
    return "Duplicate macros " + code +
           " - the system macros kept, the stat module macros will be inaccessible.";
}

} // namespace

TEST(MacroLines, ExpansionGoldenTextPerServerKind)
{
    const QString sql =
        "SELECT %coalesce(P.NAME,'?') %add ' ' %add P.FIRST, %case(P.SEX,1,'M','F'),"
        " %user\nFROM PATIENTS P, VISITS V\n"
        "WHERE V.PAT_ID%join = P.ID AND P.ACTIVE = %true AND P.DEAD = %false";
    EXPECT_EQ(expand(1, false, sql),
              "SELECT coalesce(P.NAME,'?') + ' ' + P.FIRST, case P.SEX when 1 then 'M' else 'F' "
              "end, user_id()\nFROM PATIENTS P, VISITS V\n"
              "WHERE V.PAT_ID = P.ID AND P.ACTIVE = 1 AND P.DEAD = 0");
    EXPECT_EQ(expand(2, false, sql),
              "SELECT NVL(P.NAME,'?') || ' ' || P.FIRST, DECODE(P.SEX,1,'M','F'), uid\n"
              "FROM PATIENTS P, VISITS V\n"
              "WHERE V.PAT_ID(+) = P.ID AND P.ACTIVE = 'T' AND P.DEAD = 'F'");
    // The local kind has no current user: "%user" stays as written.
    EXPECT_EQ(expand(3, false, sql),
              "SELECT coalesce(P.NAME,'?') || ' ' || P.FIRST, case P.SEX when 1 then 'M' else "
              "'F' end, %user\nFROM PATIENTS P, VISITS V\n"
              "WHERE V.PAT_ID = P.ID AND P.ACTIVE = 1 AND P.DEAD = 0");
    // Kind 0, or any unknown kind, has no macro at all.
    EXPECT_EQ(expand(0, false, sql), sql);
    EXPECT_TRUE(load(4, true).lines.isEmpty());
    // Oracle's Booleans are characters whatever the flag.
    EXPECT_EQ(expand(2, true, "%true %false"), "'T' 'F'");
}

TEST(MacroLines, MetaMacroRowsAddButNeverReplaceBuiltIns)
{
    // A built-in name in capitals is a duplicate; so is a second row of one name.
    const Loaded ms = load(
        1, false,
        {{"%ADD", "-"}, {"%age", "datediff(year,\r\n%1,\r\ngetdate())"}, {"%x", "1"}, {"%X", "2"}});
    EXPECT_EQ(ms.warnings, QStringList({duplicate("%ADD"), duplicate("%X")}));
    EXPECT_EQ(ms.lines.mid(7), QStringList({"%age=datediff(year, %1, getdate())", "%x=1"}));
    EXPECT_EQ(ms.lines.first(), "%add=+");
    EXPECT_EQ(ExpandMacros(tableOf(ms.lines), "%age(BIRTH) %add %X"),
              "datediff(year, BIRTH, getdate()) + 1");

    // Every line break of a value becomes one blank, however it was stored, so the value stays one
    // macro line.
    const Loaded breaks =
        load(0, false, {{"%lf", "a\nb"}, {"%cr", "a\rb"}, {"%mixed", "a\r\n\r\nb\n\rc"}});
    EXPECT_EQ(breaks.lines, QStringList({"%lf=a b", "%cr=a b", "%mixed=a  b  c"}));

    // On the local kind the SQLite stand-ins give way to a row silently; the kind's own built-ins
    // do not.
    const Loaded local = load(3, false,
                              {{"%COALESCE", "ifnull(%1,%2)"},
                               {"%coalesce", "x"},
                               {"%add", "+"},
                               {"%join", "(+)"},
                               {"%true", "'Y'"}});
    EXPECT_EQ(local.warnings,
              QStringList({duplicate("%coalesce"), duplicate("%add"), duplicate("%join")}));
    EXPECT_EQ(local.lines, QStringList({"%add=||", "%join=", "%COALESCE=ifnull(%1,%2)", "%true='Y'",
                                        "%false=0", "%case=case %1 when %2 then %3 else %4 end"}));

    // Without a warning handler duplicates are still skipped.
    EXPECT_EQ(BuildMacroLines(2, false, {{"%User", "x"}}, nullptr).size(), 7);
}

TEST(MacroLines, LocalKindStatementsRunOnSqlite)
{
    const KernelDb db;
    db.exec(
        "create table PATIENTS (ID integer, NAME text, FIRST text, SEX integer, ACTIVE integer)");
    db.exec("insert into PATIENTS values (1,'DUPONT','Jean',1,1), (2,NULL,'Marie',2,1), "
            "(3,'MARTIN','Paul',1,0)");

    // A number argument keeps its decimal point.
    EXPECT_EQ(db.rows(expand(3, false, "select %coalesce(NULL, 1.5) * 2")), QStringList({"3.0"}));

    const QString byFlag = "SELECT ID, %coalesce(NAME,'?') %add ' ' %add FIRST, "
                           "%case(SEX,1,'M','F')\nFROM PATIENTS\nWHERE ACTIVE = %s\nORDER BY ID";
    EXPECT_EQ(db.rows(expand(3, false, QString(byFlag).replace("%s", "%true"))),
              QStringList({"1|DUPONT Jean|M", "2|? Marie|F"}));
    EXPECT_EQ(db.rows(expand(3, false, QString(byFlag).replace("%s", "%false"))),
              QStringList({"3|MARTIN Paul|M"}));
    // An outer join written with the join mark: empty on this kind, the join is in the FROM.
    EXPECT_EQ(db.rows(expand(3, false,
                             "select count(*) from PATIENTS P left join PATIENTS Q on "
                             "Q.ID%join = P.ID + 1")),
              QStringList({"3"}));

    // Booleans stored as characters.
    db.exec("create table FLAGS (ID integer, ON_OFF char(1))");
    db.exec("insert into FLAGS values (1,'T'), (2,'F'), (3,'T')");
    EXPECT_EQ(db.rows(expand(3, true, "select ID from FLAGS where ON_OFF = %true order by ID")),
              QStringList({"1", "3"}));
    EXPECT_EQ(db.rows(expand(3, true, "select ID from FLAGS where ON_OFF = %false")),
              QStringList({"2"}));

    // A site's own macros from META_MACRO, one replacing the SQLite stand-in and one using it.
    const Rows site = {{"%coalesce", "ifnull(%1,%2)"},
                       {"%fullname", "%coalesce(%1,'')\r\n%add ' ' %add %2"}};
    EXPECT_EQ(
        db.rows(expand(3, false, "select %fullname(NAME,FIRST) from PATIENTS order by ID", site)),
        QStringList({"DUPONT Jean", " Marie", "MARTIN Paul"}));
}

TEST(KernelMacros, TheAccessComponentReadsMetaMacroAndWarnsOfDuplicates)
{
    KernelDb kernel;
    Database db;
    db.setAliasName("KRN");
    TDBAccess access;
    access.SetDataBase(&db);
    {
        // Without META_MACRO only the built-ins, silently (any dialog would fail the test).
        ScopedScriptedDialogs dialogs;
        EXPECT_TRUE(access.LoadMacros());
        EXPECT_EQ(access.MacroInfo().Names,
                  QStringList({"add", "join", "coalesce", "true", "false", "case"}));
    }
    kernel.exec(kernelschema::createTables() +
                // A built-in name in capitals is a duplicate; a value stored with a bare line
                // feed stays one macro; the SQLite stand-in %coalesce gives way silently.
                "insert into META_MACRO values ('%ADD', '-'),"
                " ('%full', '%1 %add '' ''' || char(10) || '%add %2'),"
                " ('%COALESCE', 'ifnull(%1,%2)'), ('%full', 'x');");
    ScopedScriptedDialogs dialogs;
    dialogs.answerMessage(mrOk, duplicate("%ADD"), mtWarning)
        .answerMessage(mrOk, duplicate("%full"), mtWarning);
    EXPECT_TRUE(access.LoadMacros());
    EXPECT_EQ(access.MacroInfo().Names,
              QStringList({"add", "join", "COALESCE", "true", "false", "case", "full"}));
    EXPECT_EQ(access.MacroInfo().Values.last(), "%1 %add ' ' %add %2");
    EXPECT_EQ(
        queryRows(db, ExpandMacros(access.MacroInfo(), "select %full(%coalesce(null,'A'),'B')")),
        QStringList({"A B"}));
}
