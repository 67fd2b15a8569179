// The tokenizer (texts and buffered streams), macro expansion, the macro lines of each server kind
// merged with META_MACRO rows, and kind-3 statements run on SQLite with their rows checked.
#include "kernel_helpers.h"

#include <kernel/macros.h>
#include <kernel/tokenizer.h>
#include <platform/codepage.h>
#include <platform/regional.h>

#include <support/kernel_schema.h>
#include <support/qt_printers.h>
#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QBuffer>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

struct Tok
{
    char16_t kind;
    QString text;
    qint64 pos;
    bool operator==(const Tok&) const = default;
};

void PrintTo(const Tok& t, std::ostream* os)
{
    *os << "{" << int(t.kind) << ", \"" << t.text.toStdString() << "\", " << t.pos << "}";
}

std::vector<Tok> allTokens(TFFParser& p)
{
    std::vector<Tok> out;
    for (char16_t k = p.Token(false); k != toEOF; k = p.Token(true))
        out.push_back({k, p.TokenString(), p.SourcePos()});
    return out;
}

// A device reading `data`.
std::unique_ptr<QBuffer> reading(const QByteArray& data)
{
    auto dev = std::make_unique<QBuffer>();
    dev->setData(data);
    dev->open(QIODevice::ReadOnly);
    return dev;
}

TMacroInfo table(const QString& lines)
{
    TMacroInfo m;
    m.SetText(lines);
    return m;
}

// The built-in table of a server kind, as the access component fills it.
TMacroInfo builtIn(int kind)
{
    return table(BuildMacroLines(ServerKind::Kind(kind), false, {}, nullptr).join('\n'));
}

using Rows = QList<QPair<QString, QString>>;

struct Loaded
{
    QStringList lines;
    QStringList warnings;
};

Loaded load(int kind, bool booleanAsChar, const Rows& rows = {})
{
    Loaded out;
    out.lines = BuildMacroLines(ServerKind::Kind(kind), booleanAsChar, rows,
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

TEST(Tokenizer, TokenKindsTextsAndPositions)
{
    TFFParser p;
    p.SetString("SELECT a_1, 'x''y' #65'b' 12 $1F -3 1.5e+3d 2.x % (");
    const std::vector<Tok> expected = {
        {toSymbol, "SELECT", 0}, {toSymbol, "a_1", 7},  {',', ",", 10},
        {toString, "xy", 12},    {toString, "Ab", 19},  {toInteger, "12", 26},
        {toInteger, "$1F", 29},  {toInteger, "-3", 33}, {toFloat, "1.5e+3d", 36},
        {toFloat, "2.", 44},     {toSymbol, "x", 46},   {'%', "%", 48},
        {'(', "(", 50},
    };
    EXPECT_EQ(allTokens(p), expected);
    EXPECT_EQ(p.Token(true), toEOF); // the end stays the end

    // Enclosed strings keep each quoted part's quotes; character codes stay bytes of the code page.
    p.SetEncloseStrings(true);
    // #256 is no byte: "#25" then "60" is a number.
    p.SetString("'a''b' #39#2560");
    EXPECT_EQ(
        allTokens(p),
        (std::vector<Tok>{{toString, "'a''b'", 0}, {toString, "'\x19", 7}, {toInteger, "60", 13}}));

    // An unterminated string runs to the end of the text.
    p.SetString("'open, (");
    EXPECT_EQ(allTokens(p), std::vector<Tok>({{toString, "'open, (", 0}}));

    // A zero character ends the text.
    p.SetString(QString("a") + QChar(0) + "b");
    EXPECT_EQ(allTokens(p), std::vector<Tok>({{toSymbol, "a", 0}}));
}

TEST(Tokenizer, KeywordsLinesAndCharacterCodes)
{
    TFFParser p;
    p.SetKeywordList({"Add", "coalesce", "add"});
    int lines = 0;
    p.SetOnNextLine([&](QObject*) { ++lines; });
    p.SetString("ADD\r\nx\n\n  coalesce");
    EXPECT_EQ(p.KeywordIndex(), 0); // case ignored, the first of equal names
    EXPECT_EQ(p.SourceLine(), 1);
    p.Token(true);
    EXPECT_EQ(p.KeywordIndex(), -1);
    EXPECT_EQ(p.SourceLine(), 2);
    p.Token(true);
    EXPECT_EQ(p.KeywordIndex(), 1);
    EXPECT_EQ(p.SourceLine(), 4);
    EXPECT_EQ(lines, 3);

    // Letters are ASCII letters: another character is a token of its own, its code as its kind.
    p.SetString("é1");
    EXPECT_EQ(p.Token(false), char16_t(0xE9));
    EXPECT_EQ(p.Token(true), toInteger);
}

TEST(Tokenizer, StreamIsReadThroughItsBufferLineByLineInTheProgramsCodePage)
{
    // 12 characters hold "one two\nthre": the buffer is cut after the line feed and the rest
    // moved to its start at the next refill; positions stay positions in the stream.
    const auto dev = reading("one two\nthree four\n");
    {
        TFFParser p;
        p.SetStream(dev.get(), 12);
        const std::vector<Tok> expected = {{toSymbol, "one", 0},
                                           {toSymbol, "two", 4},
                                           {toSymbol, "three", 8},
                                           {toSymbol, "four", 14}};
        EXPECT_EQ(allTokens(p), expected);
        EXPECT_EQ(p.SourceLine(), 3);

        // Reset starts again from the stream's start.
        p.Reset();
        EXPECT_EQ(p.TokenString(), "one");
        p.Token(true);
        EXPECT_EQ(p.SourcePos(), 4);
    }
    // The parser leaves the stream at the start of its current token.
    EXPECT_EQ(dev->pos(), 4);

    // A line longer than the buffer is an error naming the line.
    const auto longLine = reading("ok\nabcdefghijkl more\n");
    TFFParser p;
    p.SetStream(longLine.get(), 8);
    EXPECT_EQ(p.TokenString(), "ok");
    EXPECT_EQ(messageOf<EParserError>([&] { p.Token(true); }),
              "Parse error on line 2:\n\rLigne trop longue");

    // A device destroyed before the parser leaves what was read and then the end.
    TFFParser late;
    late.SetStream(reading("a b").get(), 100);
    EXPECT_EQ(late.Token(true), toSymbol);
    EXPECT_EQ(late.TokenString(), "b");
    EXPECT_EQ(late.Token(true), toEOF);

    // Bytes are read in the program's code page.
    const auto bytes = reading("'\xE9t\xE9' \x80");
    p.SetStream(bytes.get(), 100);
    EXPECT_EQ(p.TokenString(), "été");
    EXPECT_EQ(p.Token(true), char16_t(0x20AC)); // the euro sign of windows-1252

    codepage::setCurrent(codepage::Cp1251);
    p.SetStream(bytes.get(), 100);
    EXPECT_EQ(p.TokenString(), "йtй");
    EXPECT_EQ(p.Token(true), char16_t(0x0402)); // Ђ in windows-1251
    codepage::setCurrent(codepage::Cp1252);
}

TEST(MacroTable, SetTextSplitsNamesAndValues)
{
    TMacroInfo m;
    m.SetText("%add=+\r\n  %coalesce=NVL(%1,%2)\n%join=\r%x==y\nnoequals\n=z\n");
    EXPECT_EQ(m.Names, QStringList({"add", "coalesce", "join", "x", "", ""}));
    EXPECT_EQ(m.Values, QStringList({"+", "NVL(%1,%2)", "", "=y", "noequals", "z"}));
    // The first of two equal names wins.
    EXPECT_EQ(ExpandMacros(table("%a=1\n%A=2"), "%A"), "1");
}

TEST(MacroExpansion, CallsArgumentsAndQuotes)
{
    const TMacroInfo ms = builtIn(1);
    const TMacroInfo ora = builtIn(2);
    // An argument starts at its first token; blanks before its "," or ")" stay; brackets nest.
    EXPECT_EQ(ExpandMacros(ora, "%coalesce( A ,B )"), "NVL(A ,B )");
    EXPECT_EQ(ExpandMacros(ora, "%coalesce(f(a,[b,c]),{d,(e,f)})"), "NVL(f(a,[b,c]),{d,(e,f)})");
    EXPECT_EQ(ExpandMacros(ora, "%coalesce(A,'x,y)')"), "NVL(A,'x,y)')");
    // Quoted text is never expanded.
    EXPECT_EQ(ExpandMacros(ms, "X = '%add' %add '%true'"), "X = '%add' + '%true'");
    // Unknown names stay, with their argument lists.
    EXPECT_EQ(ExpandMacros(ms, "%nosuchmacro(1) %addx"), "%nosuchmacro(1) %addx");
    // An empty value removes the call.
    EXPECT_EQ(ExpandMacros(ms, "A.X%join = B.X"), "A.X = B.X");
    // Arguments are expanded before they go into the value.
    EXPECT_EQ(ExpandMacros(ms, "%coalesce(%case(A,1,'x','y'),'z')"),
              "coalesce(case A when 1 then 'x' else 'y' end,'z')");
    // Without a closing bracket the call runs to the end of the text.
    EXPECT_EQ(ExpandMacros(ora, "%coalesce(A,(B"), "NVL(A,(B)");
    EXPECT_EQ(ExpandMacros(ora, "%coalesce(A,'B"), "NVL(A,'B)");
    // Over several lines, as the compiler writes statements.
    EXPECT_EQ(ExpandMacros(ora, "SELECT %coalesce(A,\n 0)\nFROM T\nWHERE F = %true"),
              "SELECT NVL(A,0)\nFROM T\nWHERE F = 'T'");
    // Text without any call comes back as it is.
    EXPECT_EQ(ExpandMacros(ms, ""), "");
}

TEST(MacroExpansion, ArgumentReferences)
{
    const TMacroInfo m = table("%f=[%1|%5|%2]\n%q='%1'\n%coalesce=NVL(%1,%2)");
    // Missing arguments are empty; arguments beyond the references are ignored.
    EXPECT_EQ(ExpandMacros(m, "%f(a,b)"), "[a||b]");
    EXPECT_EQ(ExpandMacros(m, "%f(a,b,c,d,e,f)"), "[a|e|b]");
    // A value called without an argument list has none.
    EXPECT_EQ(ExpandMacros(m, "%f"), "[||]");
    // "%1" inside quotes of a value is text.
    EXPECT_EQ(ExpandMacros(m, "%q(a)"), "'%1'");

    // Expanded with an argument list, "%n" of the text takes the arguments, also inside calls.
    const QStringList args = {"P", "Q"};
    EXPECT_EQ(ExpandMacros(m, "x%1y%2z%3", &args), "xPyQz");
    EXPECT_EQ(ExpandMacros(m, "%coalesce(%1,%2)", &args), "NVL(P,Q)");
    // Without one, "%n" stays as written ("A % 2" is a modulo on MS SQL Server).
    EXPECT_EQ(ExpandMacros(m, "A % 2 + %1"), "A % 2 + %1");
}

// Repairs over the old expansion.
TEST(MacroExpansion, EveryCallIsExpandedAndNothingElseIsTouched)
{
    const TMacroInfo ms = builtIn(1);
    // The token after an argument-less call is a call of its own.
    EXPECT_EQ(ExpandMacros(ms, "A %add %coalesce(B,0)"), "A + coalesce(B,0)");
    EXPECT_EQ(ExpandMacros(ms, "%true %false"), "1 0");
    EXPECT_EQ(ExpandMacros(ms, "%true%false"), "10");
    EXPECT_EQ(ExpandMacros(ms, "%coalesce(A,B)%add'x'"), "coalesce(A,B)+'x'");
    // A "%" before something that is no macro name stays; what follows still gets its chance.
    EXPECT_EQ(ExpandMacros(ms, "100% %%add"), "100% %+");
    EXPECT_EQ(ExpandMacros(ms, "A % B % (C)"), "A % B % (C)");

    // The decimal point of a number is always ".", so a "," after a number ends an argument
    // although the program's regional settings write decimals with ",".
    setRegionalLanguage(1);
    ASSERT_EQ(regional().decimalSeparator, QChar(','));
    EXPECT_EQ(ExpandMacros(ms, "%case(A,1,'x','y')"), "case A when 1 then 'x' else 'y' end");
    EXPECT_EQ(ExpandMacros(ms, "%coalesce(1,5)"), "coalesce(1,5)");
    EXPECT_EQ(ExpandMacros(ms, "%coalesce(A,1.5)"), "coalesce(A,1.5)");
}

TEST(MacroExpansion, RunawayDefinitionsAreRefused)
{
    // A value that calls itself, directly or through another, would never end.
    EXPECT_EQ(messageOf<EParserError>([] { ExpandMacros(table("%loop=x %loop"), "SELECT %loop"); }),
              "Macro %loop calls itself.");
    EXPECT_THROW(ExpandMacros(table("%a=(%b)\n%b=%a"), "%a"), EParserError);
    // The same macro in its own argument is no loop.
    EXPECT_EQ(ExpandMacros(table("%w=[%1]"), "%w(%w(%w(x)))"), "[[[x]]]");

    // Calls nested beyond any statement the compiler writes are refused, not followed until the
    // stack runs out.
    const TMacroInfo w = table("%w=[%1]");
    QString deep = "x";
    QString wrapped = "x";
    for (int i = 0; i < 100; ++i) {
        deep = "%w(" + deep + ")";
        wrapped = "[" + wrapped + "]";
    }
    EXPECT_EQ(ExpandMacros(w, deep), wrapped);
    for (int i = 0; i < 10000; ++i)
        deep = "%w(" + deep + ")";
    EXPECT_THROW(ExpandMacros(w, deep), EParserError);
}

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
    EXPECT_EQ(BuildMacroLines(ServerKind::Oracle, false, {{"%User", "x"}}, nullptr).size(), 7);
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
