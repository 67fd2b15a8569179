// The parameter scanner of SQL texts and the parameter list.
#include <platform/db/params.h>
#include <platform/exception.h>

#include <gtest/gtest.h>

namespace {

struct Case
{
    const char* text;
    const char* statement;
    QStringList names;
};

TEST(DbParams, ScannerFindsNamesAndRewritesToPositions)
{
    const Case cases[] = {
        // The request examples: a quoted ':X' is no parameter, "::" is one colon.
        {"A = :P1 and B = ':X'", "A = ? and B = ':X'", {"P1"}},
        {"A::B", "A:B", {}},
        // "=" does not end a name; a blank before it does.
        {"X = :A=B", "X = ?", {"A=B"}},
        {"X = :A =B", "X = ? =B", {"A"}},
        // A name at the very end of the text.
        {"where ID = :ID", "where ID = ?", {"ID"}},
        // Every character that ends a name.
        {"(:P1,:P2;:P3)\r\n:P4\n:P5\t:P6 :P7",
         "(?,?;?)\r\n?\n?\t? ?",
         {"P1", "P2", "P3", "P4", "P5", "P6", "P7"}},
        // A quoted name loses its quotes; blanks inside the quotes belong to it.
        {":\"My Param\" + 1", "? + 1", {"My Param"}},
        {"f(:'a b')", "f(?)", {"a b"}},
        // Literals of either quote; the other quote inside one does not end it.
        {"\"a:b\" = :V", "\"a:b\" = ?", {"V"}},
        {"NAME = \"O'Brien\" and ID = :ID", "NAME = \"O'Brien\" and ID = ?", {"ID"}},
        {"'it''s :no' || :yes", "'it''s :no' || ?", {"yes"}},
        {"'a::b'", "'a::b'", {}},
        // "::" then a parameter.
        {":::P", ":?", {"P"}},
        // Lone colons stay as they are.
        {"a : b", "a : b", {}},
        {"x :", "x :", {}},
        // An unterminated literal hides the rest.
        {"'abc :P", "'abc :P", {}},
    };
    for (const Case& c : cases) {
        const ParsedSql p = parseSqlParams(QString::fromUtf8(c.text));
        EXPECT_EQ(p.statement, QString::fromUtf8(c.statement)) << c.text;
        EXPECT_EQ(p.names, c.names) << c.text;
        EXPECT_EQ(p.occurrences.size(), p.statement.count(QLatin1Char('?'))) << c.text;
    }

    // A name used again, in any case, is one parameter bound at every place it stands.
    const ParsedSql p = parseSqlParams(QStringLiteral(
        "select * from T where A = :a or B = :B or C = :A or D = :élan or E = :ÉLAN"));
    EXPECT_EQ(p.names, (QStringList{"a", "B", "élan"}));
    EXPECT_EQ(p.occurrences, (QList<int>{0, 1, 0, 2, 2}));
}

TEST(DbParams, ListLooksUpWithoutCaseAndCopiesOnlySameNamedValues)
{
    Params params(parseSqlParams("A = :ID and B = :Name"));
    ASSERT_EQ(params.count(), 2);
    params.paramByName("id").setAsInteger(7);
    EXPECT_EQ(params[0].asInteger(), 7);
    EXPECT_EQ(params[0].dataType(), FieldType::Integer);
    try {
        params.paramByName("MISSING");
        FAIL() << "no error for a missing parameter";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "Parameter 'MISSING' not found");
    }

    Params other;
    other.add("NAME").setAsString("Dupont");
    other.add("EXTRA").setAsInteger(1);
    params.assignValues(other);
    EXPECT_EQ(params.count(), 2);        // nothing added
    EXPECT_EQ(params[0].asInteger(), 7); // not in the other list: kept
    EXPECT_EQ(params[1].asString(), "Dupont");
    EXPECT_EQ(params[1].dataType(), FieldType::String);

    // A value gives its type only to a parameter without one.
    Param d("D");
    d.setValue(Variant::fromDateTime(45000.5));
    d.setValue("x");
    EXPECT_EQ(d.dataType(), FieldType::DateTime);
    d.setAsDate(45000);
    EXPECT_EQ(d.dataType(), FieldType::Date);
}

} // namespace
