// Code pages: conversion against hand-checked bytes of windows-1252 and windows-1251, round trips
// of every byte, the Windows ANSI case tables and the folding key that orders names.
#include <platform/codepage.h>
#include <platform/exception.h>

#include <gtest/gtest.h>

#include <algorithm>

using namespace codepage;
using namespace Qt::StringLiterals;

// Failure messages show the text itself.
static void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

QByteArray allBytes()
{
    QByteArray b(256, '\0');
    for (int i = 0; i < 256; ++i)
        b[i] = char(i);
    return b;
}

// Restores the program's code page after a test that changes it.
class CurrentCodePage : public ::testing::Test
{
protected:
    void TearDown() override { setCurrent(m_saved); }

private:
    CodePage m_saved = current();
};

} // namespace

TEST(CodePage, LanguageSelectsCodePage)
{
    EXPECT_EQ(forLanguage(0), Cp1252);
    EXPECT_EQ(forLanguage(1), Cp1252);
    EXPECT_EQ(forLanguage(2), Cp1251);
    EXPECT_EQ(forLanguage(3), Cp1252);
}

TEST(CodePage, Decode1252IsNotLatin1)
{
    // The 0x80..0x9F row is where windows-1252 and Latin-1 differ.
    EXPECT_EQ(decode("\x80\x8A\x8C\x8E\x9A\x9C\x9E\x9F", Cp1252), u"€ŠŒŽšœžŸ"_s);
    EXPECT_EQ(decode("\x83\x85\x91\x92\x93\x94\x96\x99", Cp1252), u"ƒ…‘’“”–™"_s);
    EXPECT_EQ(decode("Caf\xE9 \xC9t\xE9 \xFF\xDF\xB5", Cp1252), u"Café Été ÿßµ"_s);
    EXPECT_EQ(decode(QByteArray(), Cp1252), QString());
}

TEST(CodePage, Decode1251)
{
    EXPECT_EQ(decode("\xCF\xF0\xE8\xE2\xE5\xF2", Cp1251), u"Привет"_s);
    EXPECT_EQ(decode("\xC0\xDF\xE0\xFF\xA8\xB8", Cp1251), u"АЯаяЁё"_s);
    EXPECT_EQ(decode("\x88\xB9\x80\x90\xA5\xB4", Cp1251), u"€№ЂђҐґ"_s);
}

TEST(CodePage, UndefinedBytesRoundTrip)
{
    // Bytes without a character of their own come back as the C1 control of the same value.
    EXPECT_EQ(decode("\x81\x8D\x8F\x90\x9D", Cp1252), u"\u0081\u008D\u008F\u0090\u009D"_s);
    EXPECT_EQ(decode("\x98", Cp1251), u"\u0098"_s);
    EXPECT_EQ(encode(u"\u0081\u008D\u008F\u0090\u009D"_s, Cp1252), "\x81\x8D\x8F\x90\x9D");
    EXPECT_EQ(encode(u"\u0098"_s, Cp1251), "\x98");

    // Every byte string survives decoding and encoding, with no loss reported.
    for (const CodePage cp : {Cp1252, Cp1251}) {
        const QString text = decode(allBytes(), cp);
        EXPECT_EQ(text.size(), 256);
        bool lossless = false;
        EXPECT_EQ(encode(text, cp, &lossless), allBytes()) << int(cp);
        EXPECT_TRUE(lossless) << int(cp);
        EXPECT_TRUE(canEncode(text, cp));
    }
}

TEST(CodePage, EncodeMarksWhatCannotBeHeld)
{
    bool lossless = false;
    EXPECT_EQ(encode(u"Привет"_s, Cp1251, &lossless), "\xCF\xF0\xE8\xE2\xE5\xF2");
    EXPECT_TRUE(lossless);

    EXPECT_EQ(encode(u"Привет"_s, Cp1252, &lossless), "??????");
    EXPECT_FALSE(lossless);
    EXPECT_FALSE(canEncode(u"Привет"_s, Cp1252));

    // Accented Latin letters are not in 1251; the euro sign is in both.
    EXPECT_EQ(encode(u"é€"_s, Cp1251, &lossless), "?\x88");
    EXPECT_FALSE(lossless);
    EXPECT_EQ(encode(u"é€"_s, Cp1252, &lossless), "\xE9\x80");
    EXPECT_TRUE(lossless);

    // A character outside the basic plane is one character, so one '?'.
    EXPECT_EQ(encode(u"a\U0001F600b"_s, Cp1252, &lossless), "a?b");
    EXPECT_FALSE(lossless);
    // A lone surrogate is not a character of the code page either.
    EXPECT_EQ(encode(QString(QChar(0xD800)), Cp1252, &lossless), "?");
    EXPECT_FALSE(lossless);

    // Latin-1 characters that 1252 replaced in its 0x80 row have no byte there.
    EXPECT_EQ(encode(u"\u0080\u009F"_s, Cp1252, &lossless), "??");
    EXPECT_FALSE(lossless);
}

TEST_F(CurrentCodePage, AnsiFollowsCurrentCodePage)
{
    setCurrent(Cp1252);
    EXPECT_EQ(fromAnsi("\xC0\xE9"), u"Àé"_s);
    EXPECT_EQ(toAnsi(u"Àé"_s), "\xC0\xE9");
    EXPECT_EQ(toAnsiStrict(u"Àé"_s, u"The key"_s), "\xC0\xE9");

    setCurrent(Cp1251);
    EXPECT_EQ(current(), Cp1251);
    EXPECT_EQ(fromAnsi("\xC0\xE9"), u"Ай"_s);
    EXPECT_EQ(toAnsi(u"Ай"_s), "\xC0\xE9");
    EXPECT_EQ(upperBytes("\xE9"), "\xC9"); // й -> Й with the default code page argument
}

TEST_F(CurrentCodePage, StrictConversionRefusesWithClearMessage)
{
    setCurrent(Cp1252);
    try {
        toAnsiStrict(u"Иван"_s, u"The user name"_s);
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_TRUE(e.message().contains(u"The user name \"Иван\""_s)) << e.what();
        EXPECT_TRUE(e.message().contains(u"1252"_s)) << e.what();
        EXPECT_TRUE(e.message().endsWith(u"Иван"_s)) << e.what();
    }
    setCurrent(Cp1251);
    EXPECT_EQ(toAnsiStrict(u"Иван"_s, u"The user name"_s), "\xC8\xE2\xE0\xED");
    EXPECT_THROW(toAnsiStrict(u"Élodie"_s, u"The user name"_s), EConvertError);
}

TEST(CodePage, Case1252)
{
    EXPECT_EQ(upper(u"abc àéîõüç ÿšœž"_s, Cp1252), u"ABC ÀÉÎÕÜÇ ŸŠŒŽ"_s);
    EXPECT_EQ(lower(u"ABC ÀÉÎÕÜÇ ŸŠŒŽ"_s, Cp1252), u"abc àéîõüç ÿšœž"_s);
    // No upper case inside 1252: sharp s (SS is two letters), micro sign (Greek Mu), florin.
    EXPECT_EQ(upper(u"ßµƒ"_s, Cp1252), u"ßµƒ"_s);
    // Text outside the code page keeps its case.
    EXPECT_EQ(upper(u"жa"_s, Cp1252), u"жA"_s);
    EXPECT_EQ(upper(u"ё"_s, Cp1252), u"ё"_s);

    EXPECT_EQ(upperByte(0xFF, Cp1252), 0x9F); // ÿ -> Ÿ
    EXPECT_EQ(lowerByte(0x9F, Cp1252), 0xFF);
    EXPECT_EQ(upperByte(0x9A, Cp1252), 0x8A); // š -> Š
    EXPECT_EQ(upperByte(0x9C, Cp1252), 0x8C); // œ -> Œ
    EXPECT_EQ(upperByte(0xDF, Cp1252), 0xDF); // ß
    EXPECT_EQ(upperByte(0xB5, Cp1252), 0xB5); // µ
    EXPECT_EQ(upperByte(0xF7, Cp1252), 0xF7); // ÷ is no letter, and 0xD7 × is not its capital
    EXPECT_EQ(lowerByte(0xD7, Cp1252), 0xD7);
    EXPECT_EQ(upperBytes("caf\xE9 \xFF", Cp1252), "CAF\xC9 \x9F");
    EXPECT_EQ(lowerBytes("CAF\xC9 \x9F", Cp1252), "caf\xE9 \xFF");
}

TEST(CodePage, Case1251)
{
    EXPECT_EQ(upper(u"ёжик в тумане, abc"_s, Cp1251), u"ЁЖИК В ТУМАНЕ, ABC"_s);
    EXPECT_EQ(lower(u"ЁЖИК В ТУМАНЕ, ABC"_s, Cp1251), u"ёжик в тумане, abc"_s);
    EXPECT_EQ(upper(u"ђѓљњќћџўјґєїіѕ"_s, Cp1251), u"ЂЃЉЊЌЋЏЎЈҐЄЇІЅ"_s);
    // Accented Latin letters are not in 1251 and keep their case there.
    EXPECT_EQ(upper(u"é"_s, Cp1251), u"é"_s);

    EXPECT_EQ(upperByte(0xB8, Cp1251), 0xA8); // ё -> Ё
    EXPECT_EQ(lowerByte(0xA8, Cp1251), 0xB8);
    EXPECT_EQ(upperByte(0xE0, Cp1251), 0xC0); // а -> А
    EXPECT_EQ(upperByte(0xFF, Cp1251), 0xDF); // я -> Я
    EXPECT_EQ(upperByte(0x90, Cp1251), 0x80); // ђ -> Ђ
    EXPECT_EQ(upperByte(0x83, Cp1251), 0x81); // ѓ -> Ѓ
    EXPECT_EQ(upperByte(0xB5, Cp1251), 0xB5); // µ
    EXPECT_EQ(upperByte(0xB9, Cp1251), 0xB9); // №
    EXPECT_EQ(upperBytes("\xF2\xE5\xF1\xF2 test", Cp1251), "\xD2\xC5\xD1\xD2 TEST");
}

TEST(CodePage, CaseTablesPairEveryLetter)
{
    // Counted by hand from the code page charts.
    // 1252: a-z, the 30 accented small letters à..þ without ÷, and š œ ž ÿ.
    // 1251: a-z, а-я, ђ ѓ љ њ ќ ћ џ in the 0x80 row, and ў ј ґ ё є ї і ѕ in the 0xA0 row.
    const struct
    {
        CodePage cp;
        int pairs;
    } expected[] = {{Cp1252, 26 + 30 + 4}, {Cp1251, 26 + 32 + 7 + 8}};
    for (const auto& e : expected) {
        int pairs = 0;
        for (int b = 0; b < 256; ++b) {
            const unsigned char u = upperByte(static_cast<unsigned char>(b), e.cp);
            if (u == b)
                continue;
            ++pairs;
            EXPECT_EQ(lowerByte(u, e.cp), b) << int(e.cp) << " byte " << b;
            EXPECT_EQ(upperByte(u, e.cp), u) << int(e.cp) << " byte " << b;
        }
        EXPECT_EQ(pairs, e.pairs) << int(e.cp);
        // The byte tables and the text form agree everywhere.
        EXPECT_EQ(decode(upperBytes(allBytes(), e.cp), e.cp),
                  upper(decode(allBytes(), e.cp), e.cp));
        EXPECT_EQ(decode(lowerBytes(allBytes(), e.cp), e.cp),
                  lower(decode(allBytes(), e.cp), e.cp));
    }
}

TEST(CodePage, SameTextIgnoresAnsiCase)
{
    EXPECT_TRUE(sameText(u"Paramètres"_s, u"PARAMÈTRES"_s, Cp1252));
    EXPECT_TRUE(sameText(u"ÿ"_s, u"Ÿ"_s, Cp1252));
    EXPECT_FALSE(sameText(u"e"_s, u"é"_s, Cp1252));
    EXPECT_FALSE(sameText(u"ab"_s, u"abc"_s, Cp1252));
    EXPECT_TRUE(sameText(u"Ёлка"_s, u"ЁЛКА"_s, Cp1251));
    // Cyrillic is outside 1252: no case there.
    EXPECT_FALSE(sameText(u"Ёлка"_s, u"ЁЛКА"_s, Cp1252));
}

TEST(CodePage, FoldKeyRemovesCaseAndAccents)
{
    EXPECT_EQ(foldKey(u"Élodie"_s), u"elodie"_s);
    EXPECT_EQ(foldKey(u"ÉLODIE"_s), foldKey(u"elodie"_s));
    EXPECT_EQ(foldKey(u"François Müller-Ångström"_s), u"francois muller-angstrom"_s);
    EXPECT_EQ(foldKey(u"Ёлка"_s), u"елка"_s);
    EXPECT_EQ(foldKey(u"ЁЖ"_s), u"еж"_s);
    EXPECT_EQ(foldKey(u"McDonald"_s), u"mcdonald"_s);
    EXPECT_EQ(foldKey(QString()), QString());
    // One character at a time: no ligature or sharp s is expanded.
    EXPECT_EQ(foldKey(u"Œuvre"_s), u"œuvre"_s);
    EXPECT_EQ(foldKey(u"Straße"_s), u"straße"_s);
    EXPECT_EQ(foldKey(u"Øst"_s), u"øst"_s);
    // A letter already written with a combining accent folds like the precomposed one.
    EXPECT_EQ(foldKey(u"E\u0301mile"_s), foldKey(u"Émile"_s));

    QStringList names = {u"Zoé"_s, u"Émile"_s, u"eric"_s, u"Alain"_s, u"élise"_s};
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return foldKey(a) < foldKey(b); });
    EXPECT_EQ(names, (QStringList{u"Alain"_s, u"élise"_s, u"Émile"_s, u"eric"_s, u"Zoé"_s}));
}
