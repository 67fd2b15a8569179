// Code pages: conversion against hand-checked bytes of windows-1252 and windows-1251, round trips
// of every byte, the Windows ANSI case tables and the folding key that orders names.
#include <platform/codepage.h>
#include <platform/exception.h>

#include <gtest/gtest.h>
#include <support/qt_printers.h>
#include <support/workspace.h>

using namespace codepage;
using namespace Qt::StringLiterals;

namespace {

QByteArray allBytes()
{
    QByteArray b(256, '\0');
    for (int i = 0; i < 256; ++i)
        b[i] = char(i);
    return b;
}

} // namespace

TEST(CodePage, DecodeAndEncodeBothCodePages)
{
    // The 0x80..0x9F row is where windows-1252 and Latin-1 differ.
    EXPECT_EQ(decode("\x80\x8A\x8C\x8E\x9A\x9C\x9E\x9F\x83\x85\x93\x96\x99", Cp1252),
              u"€ŠŒŽšœžŸƒ…“–™"_s);
    EXPECT_EQ(decode("Caf\xE9 \xC9t\xE9 \xFF\xDF\xB5", Cp1252), u"Café Été ÿßµ"_s);
    EXPECT_EQ(decode("\xC0\xDF\xE0\xFF\xA8\xB8\x88\xB9\x80\x90\xA5\xB4", Cp1251),
              u"АЯаяЁё€№ЂђҐґ"_s);

    // Bytes without a character of their own come back as the C1 control of the same value.
    EXPECT_EQ(decode("\x81\x8D\x8F\x90\x9D", Cp1252), u"\u0081\u008D\u008F\u0090\u009D"_s);
    EXPECT_EQ(decode("\x98", Cp1251), u"\u0098"_s);

    // Every byte string survives decoding and encoding, with no loss reported.
    for (const CodePage cp : {Cp1252, Cp1251}) {
        const QString text = decode(allBytes(), cp);
        EXPECT_EQ(text.size(), 256);
        bool lossless = false;
        EXPECT_EQ(encode(text, cp, &lossless), allBytes()) << int(cp);
        EXPECT_TRUE(lossless) << int(cp);
        EXPECT_TRUE(canEncode(text, cp));
    }

    // What a code page cannot hold is marked, and the loss reported.
    bool lossless = false;
    EXPECT_EQ(encode(u"Привет €"_s, Cp1252, &lossless), "?????? \x80");
    EXPECT_FALSE(lossless);
    EXPECT_FALSE(canEncode(u"Привет"_s, Cp1252));
    EXPECT_EQ(encode(u"é€"_s, Cp1251, &lossless), "?\x88");
    EXPECT_FALSE(lossless);
    // One '?' per character, also outside the basic plane; a lone surrogate is no character.
    EXPECT_EQ(encode(u"a\U0001F600b"_s + QChar(0xD800), Cp1252), "a?b?");
    // The Latin-1 controls that 1252 replaced in its 0x80 row have no byte there.
    EXPECT_EQ(encode(u"\u0080\u009F"_s, Cp1252, &lossless), "??");
    EXPECT_FALSE(lossless);
}

TEST(CodePage, AnsiConversionFollowsCurrentCodePage)
{
    for (const int language : {0, 1, 3})
        EXPECT_EQ(forLanguage(language), Cp1252);
    EXPECT_EQ(forLanguage(2), Cp1251);

    const CodePageScope restored(Cp1252);
    EXPECT_EQ(fromAnsi("\xC0\xE9"), u"Àé"_s);
    EXPECT_EQ(toAnsiStrict(u"Àé"_s, u"The key"_s), "\xC0\xE9");
    EXPECT_EQ(messageOf<EConvertError>([] { toAnsiStrict(u"Иван"_s, u"The user name"_s); }),
              u"The user name \"Иван\" holds characters that code page 1252 cannot store: Иван"_s);

    setCurrent(Cp1251);
    EXPECT_EQ(fromAnsi("\xC0\xE9"), u"Ай"_s);
    EXPECT_EQ(toAnsi(u"Ай"_s), "\xC0\xE9");
    EXPECT_EQ(upperBytes("\xE9"), "\xC9"); // й -> Й by default in the current code page
    EXPECT_EQ(toAnsiStrict(u"Иван"_s, u"The user name"_s), "\xC8\xE2\xE0\xED");
    EXPECT_THROW(toAnsiStrict(u"Élodie"_s, u"The user name"_s), EConvertError);
}

TEST(CodePage, CaseStaysInsideTheCodePageAndFoldingDropsAccents)
{
    EXPECT_EQ(upper(u"abc àéîõüç ÿšœž"_s, Cp1252), u"ABC ÀÉÎÕÜÇ ŸŠŒŽ"_s);
    // No capital in 1252 for sharp s (SS is two letters), micro sign (Greek Mu) and florin.
    EXPECT_EQ(upper(u"ßµƒ"_s, Cp1252), u"ßµƒ"_s);
    EXPECT_EQ(upper(u"ёжик в тумане, abc"_s, Cp1251), u"ЁЖИК В ТУМАНЕ, ABC"_s);
    EXPECT_EQ(upper(u"ђѓљњќћџўјґєїіѕ"_s, Cp1251), u"ЂЃЉЊЌЋЏЎЈҐЄЇІЅ"_s);
    // Text outside the code page keeps its case.
    EXPECT_EQ(upper(u"жa"_s, Cp1252), u"жA"_s);
    EXPECT_EQ(upper(u"é"_s, Cp1251), u"é"_s);
    EXPECT_TRUE(sameText(u"Ёлка"_s, u"ЁЛКА"_s, Cp1251));
    EXPECT_FALSE(sameText(u"Ёлка"_s, u"ЁЛКА"_s, Cp1252));
    EXPECT_FALSE(sameText(u"e"_s, u"é"_s, Cp1252));

    // The folding key drops case and accents, one character at a time: no ligature or sharp s is
    // expanded, and a combining accent folds like the precomposed letter.
    EXPECT_EQ(foldKey(u"François Müller-Ångström Ёлка"_s), u"francois muller-angstrom елка"_s);
    EXPECT_EQ(foldKey(u"Œuvre Straße Øst"_s), u"œuvre straße øst"_s);
    EXPECT_EQ(foldKey(u"E\u0301mile"_s), foldKey(u"Émile"_s));
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
        int lowered = 0;
        for (int b = 0; b < 256; ++b) {
            const unsigned char u = upperByte(static_cast<unsigned char>(b), e.cp);
            lowered += lowerByte(static_cast<unsigned char>(b), e.cp) != b;
            if (u == b)
                continue;
            ++pairs;
            EXPECT_EQ(lowerByte(u, e.cp), b) << int(e.cp) << " byte " << b;
            EXPECT_EQ(upperByte(u, e.cp), u) << int(e.cp) << " byte " << b;
        }
        EXPECT_EQ(pairs, e.pairs) << int(e.cp);
        EXPECT_EQ(lowered, e.pairs) << int(e.cp);
        // The byte tables and the text form agree everywhere.
        EXPECT_EQ(decode(upperBytes(allBytes(), e.cp), e.cp),
                  upper(decode(allBytes(), e.cp), e.cp));
        EXPECT_EQ(decode(lowerBytes(allBytes(), e.cp), e.cp),
                  lower(decode(allBytes(), e.cp), e.cp));
    }
}
