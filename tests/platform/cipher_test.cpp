// Tests of the credential cipher: answers worked out from the cipher's definition, the padded
// credential form, long texts in pieces, hex input errors and code-page handling.
#include <platform/codepage.h>
#include <platform/exception.h>
#include <platform/support/cipher.h>

#include <support/workspace.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

QByteArray reversed(QByteArray s)
{
    std::reverse(s.begin(), s.end());
    return s;
}

} // namespace

TEST(Cipher, KnownAnswers)
{
    const QByteArray key =
        QByteArray::fromHex("5a17c3e08b4d92f6a1e07c3958b2d4f60c9e17a3b58d2f4e6a0c1b3d5e7f9218");
    const QByteArray iv = QByteArray::fromHex("3c8e51a7f20d964b");
    GostContext ctx;
    GostInit(ctx, key.constData(), key.size(), iv.constData());
    QByteArray block(8, '\0');
    GostEncryptBlock(ctx, iv.constData(), block.data());
    EXPECT_EQ(block.toHex().toUpper(), "D4309B55190DE053");

    EXPECT_EQ(EncryptToHex(QByteArray("abc")), "B5D31A");
    EXPECT_EQ(EncryptToHex(QByteArray("QUORVANE")), "851502DABDA9D7A2");
    EXPECT_EQ(DecryptFromHex(QByteArray("851502DABDA9D7A2")), "QUORVANE");
    // The padded form is the reversed text, enciphered.
    EXPECT_EQ(DecryptPadded(QByteArray("B5D31A")), "cba");
    EXPECT_EQ(DecryptPadded(QString("851502DABDA9D7A2")), "ENAVROUQ");

    // The register carries over between calls on one context, in place or not.
    QByteArray text("QUORVANE");
    GostInit(ctx, key.constData(), key.size(), iv.constData());
    GostEncryptCFB(ctx, text.constData(), text.data(), 3);
    GostEncryptCFB(ctx, text.constData() + 3, text.data() + 3, 5);
    EXPECT_EQ(text.toHex().toUpper(), "851502DABDA9D7A2");
    GostInit(ctx, key.constData(), key.size(), iv.constData());
    GostDecryptCFB(ctx, text.constData(), text.data(), text.size());
    EXPECT_EQ(text, "QUORVANE");

    // Hex input: any case, an odd last digit ignored, a bad pair refused.
    EXPECT_EQ(DecryptFromHex(QString("B5d31A7")), "abc");
    EXPECT_EQ(DecryptFromHex(QByteArray("B5D31AZ")), "abc"); // an odd last digit is not read
    EXPECT_EQ(messageOf<EConvertError>([] { DecryptFromHex(QByteArray("B5ZZ1A")); }),
              "'ZZ' is not a valid integer value");

    // Set-up: a key of 32 bytes, zeros without a vector; burning clears the context.
    const QByteArray ones(32, '\x11');
    for (const int badLength : {31, 33})
        EXPECT_EQ(
            messageOf<Exception>([&] { GostInit(ctx, ones.constData(), badLength, nullptr); }),
            "GOST: Invalid key length");
    GostInit(ctx, ones.constData(), ones.size(), nullptr);
    const quint8 zeros[8] = {};
    EXPECT_EQ(std::memcmp(ctx.feedback, zeros, 8), 0); // no vector given: zeros
    GostBurn(ctx);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(&ctx), sizeof ctx),
              QByteArray(sizeof ctx, '\0'));
}

TEST(Cipher, PaddedCredentialForm)
{
    const QString first = EncryptPadded(QByteArray("abc"), 33);
    ASSERT_EQ(first.size(), 66);
    bool allSame = true;
    for (int i = 0; i < 4; ++i) {
        const QString again = EncryptPadded(QByteArray("abc"), 33);
        EXPECT_EQ(DecryptPadded(again.toLatin1()), "abc");
        allSame = allSame && again == first;
    }
    EXPECT_FALSE(allSame);
    // Stored layout: reversed, the text, a tab, then padding of codes 1..254.
    const QByteArray t = reversed(DecryptFromHex(first.toLatin1()));
    EXPECT_TRUE(t.startsWith("abc\t"));
    EXPECT_TRUE(std::all_of(t.begin() + 4, t.end(),
                            [](char c) { return quint8(c) >= 1 && quint8(c) <= 254; }));

    EXPECT_EQ(DecryptPadded(EncryptPadded(QByteArray(), 33).toLatin1()), "");
    // One short of the length: the tab fills it, and no randomness is left.
    const QByteArray s32(32, 'k');
    EXPECT_EQ(EncryptPadded(s32, 33), EncryptToHex(reversed(s32 + '\t')));
    // At or above the length: no tab, no padding, back whole but trimmed.
    const QByteArray s33 = "  " + QByteArray(30, 'p') + "\x01 ";
    EXPECT_EQ(EncryptPadded(s33, 33), EncryptToHex(reversed(s33)));
    EXPECT_EQ(DecryptPadded(EncryptPadded(s33, 33).toLatin1()), QByteArray(30, 'p'));
    // A tab inside the text cuts it there, short or long.
    EXPECT_EQ(DecryptPadded(EncryptPadded(QByteArray("ab\tcd"), 33).toLatin1()), "ab");
    EXPECT_EQ(DecryptPadded(EncryptPadded("name\t" + QByteArray(40, 'r'), 33).toLatin1()), "name");
}

TEST(Cipher, ExtractField)
{
    EXPECT_EQ(ExtractField(QByteArray("a"), 2, '\t'), "");
    EXPECT_EQ(ExtractField(QByteArray(" \x01 a b\x1f\tc"), 1, '\t'), "a b");
    EXPECT_EQ(ExtractField(QString("x; y ;z"), 2, u';'), "y");
    // Only codes up to 32 are trimmed: a no-break space belongs to the credential.
    EXPECT_EQ(ExtractField(QString::fromUtf16(u"\u00A0pw\u00A0"), 1, u'\t'),
              QString::fromUtf16(u"\u00A0pw\u00A0"));
}

TEST(Cipher, CredentialsGoThroughTheCodePage)
{
    {
        CodePageScope scope(codepage::Cp1251);
        EXPECT_EQ(EncryptToHex(QString("Ж")), "12"); // Ж is 0xC6 in windows-1251
        const QString hex = EncryptPadded(QString("Пароль"), 33);
        EXPECT_EQ(hex.size(), 66);
        EXPECT_EQ(DecryptPadded(hex), "Пароль");
        const QString refused =
            messageOf<EConvertError>([] { EncryptPadded(QString("café"), 33); });
        EXPECT_NE(refused, "<no error>");
        EXPECT_FALSE(refused.contains("caf")) << "the credential stays out of the message";
    }
    CodePageScope scope(codepage::Cp1252);
    EXPECT_EQ(EncryptToHex(QString("é")), "3D"); // é is 0xE9 in windows-1252
    EXPECT_THROW(EncryptStr(QString("Пароль")), EConvertError);
}

TEST(Cipher, LongTextsInPieces)
{
    // Each 510-byte piece starts again from the initialisation vector.
    const QByteArray text = QByteArray(CipherPieceSize, 'x') + "abc";
    const QString pieces = EncryptLongToHex(text);
    EXPECT_EQ(pieces.size(), 2 * text.size());
    EXPECT_TRUE(pieces.endsWith("B5D31A"));
    EXPECT_FALSE(EncryptToHex(text).endsWith("B5D31A")); // one call is one continuous run
    QByteArray clear(1500, Qt::Uninitialized);
    for (int i = 0; i < clear.size(); ++i)
        clear[i] = char(i * 7);
    for (const int len : {0, 509, 510, 511, 1500})
        EXPECT_EQ(DecryptLongFromHex(EncryptLongToHex(clear.left(len)).toLatin1()),
                  clear.left(len));
    EXPECT_EQ(DecryptFromHex(EncryptToHex(clear).toLatin1()), clear);
}
