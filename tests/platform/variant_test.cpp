// Variant conversions and ordering, with the regional settings of languages 1 and 2.
#include <platform/exception.h>
#include <platform/regional.h>
#include <platform/variant.h>

#include <gtest/gtest.h>
#include <support/qt_printers.h>
#include <support/workspace.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

class VariantTest : public ::testing::Test
{
protected:
    void SetUp() override { setRegionalLanguage(1); }
    void TearDown() override { setRegionalLanguage(1); }
};

const double March5 = 45356; // 2024-03-05
const double At140709 = (14 * 3600 + 7 * 60 + 9) / 86400.0;

} // namespace

TEST_F(VariantTest, ValuesAsTextAndBooleans)
{
    EXPECT_EQ(Variant(true).toString(), "True");
    EXPECT_EQ(Variant(false).toString(), "False");
    EXPECT_EQ(Variant(qint64(-42)).toString(), "-42");
    EXPECT_EQ(Variant(1.0 / 3.0).toString(), "0,333333333333333");
    EXPECT_EQ(Variant(Currency{-123456}).toString(), "-12,3456");
    EXPECT_EQ(Variant::null().toString(), "");
    EXPECT_EQ(Variant(QChar(u'é')).toString(), "é");

    // Date-times: the time is left out at midnight, the date on day 0.
    EXPECT_EQ(Variant::fromDateTime(March5).toString(), "05/03/2024");
    EXPECT_EQ(Variant::fromDateTime(March5 + At140709).toString(), "05/03/2024 14:07:09");
    EXPECT_EQ(Variant::fromDateTime(0.5).toString(), "12:00:00");
    EXPECT_EQ(Variant::fromDateTime(0).toString(), "00:00:00");
    EXPECT_EQ(Variant::fromDateTime(-1.25).toString(), "29/12/1899 06:00:00");
    setRegionalLanguage(2);
    EXPECT_EQ(Variant::fromDateTime(March5 + At140709).toString(), "05.03.2024 14:07:09");

    EXPECT_EQ(messageOf<EConvertError>([] { Variant(QByteArray("ab")).toString(); }),
              "Could not convert variant of type (Array Byte) into type (String)");

    // Booleans: True is -1, texts and numbers read as Booleans.
    EXPECT_EQ(Variant(true).toInt(), -1);
    EXPECT_EQ(Variant(true).toDouble(), -1.0);
    EXPECT_EQ(Variant(true).toCurrency().scaled, -10000);
    EXPECT_TRUE(Variant(" TRUE ").toBool());
    EXPECT_FALSE(Variant("False").toBool());
    EXPECT_FALSE(Variant("0").toBool());
    EXPECT_TRUE(Variant("0,5").toBool());
    EXPECT_FALSE(Variant(0.0).toBool());
    EXPECT_TRUE(Variant(Currency{1}).toBool());
    EXPECT_EQ(messageOf<EConvertError>([] { Variant("oui").toBool(); }),
              "Could not convert variant of type (String) into type (Boolean)");
    EXPECT_THROW(Variant(true).toDateTime(), EConvertError);
}

TEST_F(VariantTest, NumbersBetweenKinds)
{
    // To an integer: half to even, from doubles, money and date-times alike.
    // clang-format off
    const std::pair<Variant, int> integers[] = {
        {Variant(-2.5), -2}, {Variant(-2.6), -3}, {Variant(Currency{35000}), 4},
        {Variant(Currency{-25000}), -2}, {Variant(Currency{25001}), 3},
        {Variant(Currency{-24999}), -2}, {Variant::fromDateTime(1.75), 2}};
    // clang-format on
    for (const auto& [value, integer] : integers)
        EXPECT_EQ(value.toInt(), integer) << value.toString().toStdString();
    EXPECT_EQ(Variant(Currency{125000}).toDouble(), 12.5);
    EXPECT_EQ(Variant(-1.23456).toCurrency().scaled, -12346);
    EXPECT_EQ(Variant(qint64(3)).toDateTime(), 3.0);

    // A value beyond the target is refused, never cut.
    EXPECT_EQ(messageOf<EConvertError>([] { Variant(qint64(1) << 40).toInt(); }),
              "Could not convert variant of type (Int64) into type (Integer)");
    EXPECT_EQ(messageOf<EConvertError>([] { Variant(3e9).toInt(); }),
              "Could not convert variant of type (Double) into type (Integer)");
    EXPECT_THROW(Variant(1e30).toInt64(), EConvertError);
    EXPECT_THROW(Variant(std::nan("")).toInt64(), EConvertError);
    EXPECT_THROW(Variant(std::nan("")).toCurrency(), EConvertError);
    EXPECT_THROW(Variant(std::numeric_limits<qint64>::max()).toCurrency(), EConvertError);
    EXPECT_THROW(Currency::fromDouble(1e300), EConvertError);

    // Texts read as numbers and dates.
    EXPECT_EQ(Variant("2,5").toDouble(), 2.5);
    EXPECT_EQ(Variant("2.5").toDouble(), 2.5);
    EXPECT_EQ(Variant(" -1,25E2 ").toDouble(), -125.0);
    EXPECT_EQ(Variant("$FF").toInt(), 255);
    EXPECT_EQ(Variant("9223372036854775807").toInt64(), std::numeric_limits<qint64>::max());
    // Fractions round half to even on the way to an integer.
    EXPECT_EQ(Variant("2,5").toInt(), 2);
    EXPECT_EQ(Variant("3.5").toInt(), 4);
    EXPECT_EQ(Variant("2,51").toInt(), 3);
    EXPECT_EQ(Variant("12,3456").toCurrency().scaled, 123456);
    EXPECT_EQ(messageOf<EConvertError>([] { Variant("abc").toDouble(); }),
              "Could not convert variant of type (String) into type (Double)");
    EXPECT_EQ(messageOf<EConvertError>([] { Variant("12 kg").toInt(); }),
              "Could not convert variant of type (String) into type (Int64)");
    EXPECT_THROW(Variant("1.2.3").toDouble(), EConvertError);
    EXPECT_THROW(Variant("").toInt(), EConvertError);
    EXPECT_THROW(Variant("1e30").toInt64(), EConvertError);
    EXPECT_THROW(Variant("1e300").toCurrency(), EConvertError);

    EXPECT_EQ(Variant(" 05/03/2024 14:07:09 ").toDateTime(), March5 + At140709);
    EXPECT_EQ(messageOf<EConvertError>([] { Variant("31/02/2020").toDateTime(); }),
              "Could not convert variant of type (String) into type (Date)");
}

TEST_F(VariantTest, EmptyValuesAndBytes)
{
    for (const Variant& v : {Variant(), Variant::null()}) {
        EXPECT_TRUE(v.isEmpty());
        EXPECT_EQ(v.toInt(), 0);
        EXPECT_EQ(v.toDouble(), 0.0);
        EXPECT_FALSE(v.toBool());
        EXPECT_EQ(v.toCurrency().scaled, 0);
        EXPECT_EQ(v.toDateTime(), 0.0);
        EXPECT_TRUE(v.toBytes().isEmpty());
    }
    EXPECT_FALSE(Variant().isNull());
    const QByteArray raw("\x00\x80\xff", 3);
    EXPECT_EQ(Variant(raw).toBytes(), raw);
    EXPECT_EQ(Variant(QStringLiteral("é€")).toBytes(), QByteArray("\xe9\x80")); // windows-1252
    EXPECT_EQ(messageOf<EConvertError>([&] { Variant(raw).toInt(); }),
              "Could not convert variant of type (Array Byte) into type (Int64)");
    EXPECT_THROW(Variant(raw).toBool(), EConvertError);
}

TEST_F(VariantTest, EqualityAndOrdering)
{
    using V = Variant;
    const V date = V::fromDateTime(2.0), money = V(Currency{15000});
    VariantList values{V("b"), V(qint64(3)), V::null(), V(2.5),   V(true), V(QByteArray("x")),
                       money,  date,         V(),       V(false), V("A")};
    std::stable_sort(values.begin(), values.end(),
                     [](const Variant& a, const Variant& b) { return Variant::compare(a, b) < 0; });
    const VariantList expected{
        V::null(),    V(),    V(false), V(true),           money, date, V(2.5),
        V(qint64(3)), V("A"), V("b"),   V(QByteArray("x"))};
    EXPECT_EQ(values, expected);

    // Equal only with the same kind and value; Null is not Unassigned; NaN equals NaN.
    EXPECT_EQ(Variant(1), Variant(qint64(1)));
    EXPECT_NE(Variant(1), Variant(1.0));
    EXPECT_NE(Variant(1.0), Variant::fromDateTime(1.0));
    EXPECT_EQ(Variant::null(), Variant::null());
    EXPECT_NE(Variant::null(), Variant());
    EXPECT_NE(Variant("a"), Variant("A"));
    EXPECT_EQ(Variant(std::nan("")), Variant(std::nan("")));
    EXPECT_NE(Variant(QByteArray("a")), Variant("a"));

    // Numbers of different kinds compare by value, exactly where both are exact.
    const qint64 big = (qint64(1) << 53) + 1; // not a double
    EXPECT_EQ(Variant::compare(Variant(big), Variant(double(qint64(1) << 53))), 1);
    EXPECT_EQ(Variant::compare(Variant(qint64(2)), Variant(Currency{20001})), -1);
    EXPECT_EQ(Variant::compare(Variant(qint64(2)), Variant(Currency{20000})), 0);
    EXPECT_EQ(Variant::compare(Variant(qint64(2)), Variant(2.0)), 0);
    EXPECT_EQ(Variant::compare(Variant(std::nan("")), Variant(-1e300)), -1);
    EXPECT_EQ(Variant::compare(Variant(std::nan("")), Variant(std::nan(""))), 0);
    EXPECT_EQ(Variant::compare(Variant(Currency{std::numeric_limits<qint64>::max()}),
                               Variant(std::numeric_limits<qint64>::max())),
              -1);

    // Texts: case-insensitive on request; otherwise in the order of the code page's bytes.
    EXPECT_EQ(Variant::compare(Variant("abc"), Variant("ABD"), true), -1);
    EXPECT_EQ(Variant::compare(Variant("Élodie"), Variant("elodie"), true), 0);
    EXPECT_EQ(Variant::compare(Variant("Émile"), Variant("Eric"), true), -1); // "emile" < "eric"
    EXPECT_EQ(Variant::compare(Variant("ABC"), Variant("abc")), -1);
    EXPECT_EQ(Variant::compare(Variant("é"), Variant("z")), 1);  // 0xE9 after 0x7A
    EXPECT_EQ(Variant::compare(Variant("€"), Variant("ÿ")), -1); // 0x80 before 0xFF
    // Two texts that the code page cannot hold are still told apart.
    EXPECT_NE(Variant::compare(Variant("ж"), Variant("ш")), 0);
}

// A value holds its text or bytes in place: copies share them, assignments release what the value
// held, and a moved-from value is Unassigned.
TEST_F(VariantTest, CopiesMovesAndAssignmentsKeepTextAndBytesAlive)
{
    EXPECT_LE(sizeof(Variant), 32u);
    QString text = QString::fromLatin1("Dupont");
    QByteArray bytes("\x01\x02", 2);
    {
        Variant a(text);
        Variant b(bytes);
        EXPECT_FALSE(text.isDetached()); // shared, not copied
        Variant c(a);
        Variant d = b;
        a = Variant(qint64(7)); // a string replaced by a number
        b = a;                  // bytes replaced by a number
        EXPECT_EQ(c.toString(), "Dupont");
        EXPECT_EQ(d.toBytes(), bytes);

        Variant e(std::move(c));
        EXPECT_TRUE(c.isUnassigned());
        d = std::move(e); // bytes replaced by the string
        EXPECT_TRUE(e.isUnassigned());
        EXPECT_EQ(d.stringView(), u"Dupont");
        EXPECT_TRUE(bytes.isDetached()); // nothing holds the bytes any more

        // Self-assignment and assignment between texts.
        const Variant& same = d;
        d = same;
        Variant& itself = d;
        d = std::move(itself);
        EXPECT_EQ(d.toString(), "Dupont");
        Variant f("Martin");
        f = d;
        EXPECT_EQ(f.toString(), "Dupont");
    }
    EXPECT_TRUE(text.isDetached()); // every copy released its share

    // A value about to go hands its text or bytes over; other kinds convert as always.
    Variant going(text);
    EXPECT_EQ(std::move(going).toString(), "Dupont");
    EXPECT_TRUE(going.isUnassigned());
    Variant blob(QByteArray("xyz"));
    EXPECT_EQ(std::move(blob).toBytes(), QByteArray("xyz"));
    EXPECT_TRUE(blob.isUnassigned());
    Variant number(qint64(12));
    EXPECT_EQ(std::move(number).toString(), "12");
    EXPECT_EQ(number.toInt64(), 12);
}
