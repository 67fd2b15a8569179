// The GOST 28147-89 block cipher with its precomputed round tables, byte-wise cipher feedback, and
// the credential string functions (hex text, padded form, field extraction) on the fixed key.
#include "cipher.h"

#include <platform/codepage.h>
#include <platform/exception.h>
#include <platform/support/textprocs.h>
#include <platform/uitexts.h>

#include <QRandomGenerator>
#include <QStringView>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// The test parameter set of the GOST R 34.11-94 hash (id-GostR3411-94-TestParamSet, RFC 4357):
// row i is S-box S(i+1), S1 substituting the lowest nibble of a word and S8 the highest.
constexpr quint8 SBoxes[8][16] = {
    {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3},
    {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},
    {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11},
    {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},
    {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2},
    {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},
    {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12},
    {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12},
};

constexpr quint32 rotateLeft11(quint32 x)
{
    return (x << 11) | (x >> 21);
}

// One table per byte of the word: both S-box outputs of that byte already in their nibbles and
// rotated, so that a round is four look-ups and three XORs.
using RoundTable = std::array<quint32, 256>;

constexpr std::array<RoundTable, 4> makeRoundTables()
{
    std::array<RoundTable, 4> tables{};
    for (int k = 0; k < 4; ++k) {
        for (int b = 0; b < 256; ++b) {
            const quint32 low = SBoxes[2 * k][b & 0x0F];
            const quint32 high = SBoxes[2 * k + 1][b >> 4];
            tables[k][b] = rotateLeft11((low | high << 4) << (8 * k));
        }
    }
    return tables;
}

constexpr std::array<RoundTable, 4> RoundTables = makeRoundTables();

inline quint32 roundFunction(quint32 x)
{
    return RoundTables[0][x & 0xFF] ^ RoundTables[1][(x >> 8) & 0xFF] ^
           RoundTables[2][(x >> 16) & 0xFF] ^ RoundTables[3][x >> 24];
}

inline quint32 loadLittleEndian(const quint8* p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

inline void storeLittleEndian(quint8* p, quint32 v)
{
    p[0] = quint8(v);
    p[1] = quint8(v >> 8);
    p[2] = quint8(v >> 16);
    p[3] = quint8(v >> 24);
}

void wipe(void* p, std::size_t size)
{
    // Through a volatile pointer, so the stores are not dropped as dead before the memory goes.
    volatile quint8* bytes = static_cast<volatile quint8*>(p);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = 0;
}

void runCFB(GostContext& ctx, const void* in, void* out, qsizetype len, bool decipher)
{
    const auto* src = static_cast<const quint8*>(in);
    auto* dst = static_cast<quint8*>(out);
    quint8 keystream[GostBlockSize];
    for (qsizetype i = 0; i < len; ++i) {
        GostEncryptBlock(ctx, ctx.feedback, keystream);
        // Read the input first: with in == out the ciphertext byte would be overwritten.
        const quint8 inByte = src[i];
        const quint8 outByte = inByte ^ keystream[0];
        dst[i] = outByte;
        std::memmove(ctx.feedback, ctx.feedback + 1, GostBlockSize - 1);
        ctx.feedback[GostBlockSize - 1] = decipher ? inByte : outByte;
    }
    wipe(keystream, sizeof keystream);
}

// The one key and initialisation vector of every stored credential; installations' INI files hold
// values enciphered with exactly these.
constexpr quint8 FixedKey[GostKeySize] = {
    0x5a, 0x17, 0xc3, 0xe0, 0x8b, 0x4d, 0x92, 0xf6, 0xa1, 0xe0, 0x7c, 0x39, 0x58, 0xb2, 0xd4, 0xf6,
    0x0c, 0x9e, 0x17, 0xa3, 0xb5, 0x8d, 0x2f, 0x4e, 0x6a, 0x0c, 0x1b, 0x3d, 0x5e, 0x7f, 0x92, 0x18,
};
constexpr quint8 FixedIV[GostBlockSize] = {0x3c, 0x8e, 0x51, 0xa7, 0xf2, 0x0d, 0x96, 0x4b};

// A context on the fixed key, burnt when the call ends, however it ends.
class FixedKeyRun
{
public:
    FixedKeyRun() { GostInit(m_ctx, FixedKey, GostKeySize, FixedIV); }
    ~FixedKeyRun() { GostBurn(m_ctx); }
    FixedKeyRun(const FixedKeyRun&) = delete;
    FixedKeyRun& operator=(const FixedKeyRun&) = delete;

    QByteArray run(const QByteArray& in, bool decipher)
    {
        QByteArray out(in.size(), Qt::Uninitialized);
        runCFB(m_ctx, in.constData(), out.data(), in.size(), decipher);
        return out;
    }

private:
    GostContext m_ctx;
};

QByteArray encipher(const QByteArray& clear)
{
    return FixedKeyRun().run(clear, false);
}
QByteArray decipher(const QByteArray& cipher)
{
    return FixedKeyRun().run(cipher, true);
}

QString toHex(const QByteArray& bytes)
{
    static constexpr char16_t Digits[] = u"0123456789ABCDEF";
    QString hex(bytes.size() * 2, Qt::Uninitialized);
    QChar* out = hex.data();
    for (const char c : bytes) {
        *out++ = QChar(Digits[quint8(c) >> 4]);
        *out++ = QChar(Digits[quint8(c) & 0x0F]);
    }
    return hex;
}

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

QByteArray fromHex(QStringView hex)
{
    const qsizetype count = hex.size() / 2; // an odd last digit is ignored
    QByteArray bytes(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i) {
        const int high = hexDigitValue(hex[2 * i]);
        const int low = hexDigitValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) {
            throw EConvertError(QStringLiteral("'%1' is not a valid integer value")
                                    .arg(hex.mid(2 * i, 2).toString()));
        }
        bytes[i] = char(high << 4 | low);
    }
    return bytes;
}

QByteArray decipherHex(QStringView hex)
{
    return decipher(fromHex(hex));
}

QByteArray unpad(QByteArray t)
{
    std::reverse(t.begin(), t.end());
    return ExtractField(t, 1, '\t');
}

} // namespace

// ---- GOST

void GostInit(GostContext& ctx, const void* key, int keyLen, const void* iv)
{
    if (keyLen != GostKeySize)
        throw Exception(QStringLiteral("GOST: Invalid key length"));
    Q_ASSERT(key);
    const auto* k = static_cast<const quint8*>(key);
    for (int i = 0; i < 8; ++i)
        ctx.key[i] = loadLittleEndian(k + 4 * i);
    if (iv)
        std::memcpy(ctx.iv, iv, GostBlockSize);
    else
        std::memset(ctx.iv, 0, GostBlockSize);
    std::memcpy(ctx.feedback, ctx.iv, GostBlockSize);
}

void GostEncryptBlock(const GostContext& ctx, const void* in, void* out)
{
    const auto* src = static_cast<const quint8*>(in);
    quint32 n1 = loadLittleEndian(src);
    quint32 n2 = loadLittleEndian(src + 4);
    const quint32* k = ctx.key;
    // K0..K7 three times, then K7..K0; two rounds per step.
    for (int pass = 0; pass < 3; ++pass) {
        for (int i = 0; i < 8; i += 2) {
            n2 ^= roundFunction(n1 + k[i]);
            n1 ^= roundFunction(n2 + k[i + 1]);
        }
    }
    for (int i = 7; i > 0; i -= 2) {
        n2 ^= roundFunction(n1 + k[i]);
        n1 ^= roundFunction(n2 + k[i - 1]);
    }
    auto* dst = static_cast<quint8*>(out);
    storeLittleEndian(dst, n2);
    storeLittleEndian(dst + 4, n1);
}

void GostEncryptCFB(GostContext& ctx, const void* in, void* out, qsizetype len)
{
    runCFB(ctx, in, out, len, false);
}

void GostDecryptCFB(GostContext& ctx, const void* in, void* out, qsizetype len)
{
    runCFB(ctx, in, out, len, true);
}

void GostBurn(GostContext& ctx)
{
    wipe(&ctx, sizeof ctx);
}

// ---- String functions

QByteArray EncryptStr(const QByteArray& clear)
{
    return encipher(clear);
}
QByteArray EncryptStr(const QString& clear)
{
    return encipher(CredentialBytes(clear));
}

QString EncryptToHex(const QByteArray& clear)
{
    return toHex(encipher(clear));
}
QString EncryptToHex(const QString& clear)
{
    return toHex(encipher(CredentialBytes(clear)));
}

QByteArray DecryptFromHex(const QByteArray& hex)
{
    return decipherHex(QString::fromLatin1(hex));
}
QString DecryptFromHex(const QString& hex)
{
    return codepage::fromAnsi(decipherHex(hex));
}

QString EncryptPadded(const QByteArray& clear, int minLen)
{
    QByteArray t = clear;
    if (minLen > t.size()) {
        t.reserve(minLen);
        t.append('\t');
        QRandomGenerator* random = QRandomGenerator::global();
        while (t.size() < minLen)
            t.append(char(1 + random->bounded(254)));
    }
    std::reverse(t.begin(), t.end());
    return EncryptToHex(t);
}

QString EncryptPadded(const QString& clear, int minLen)
{
    return EncryptPadded(CredentialBytes(clear), minLen);
}

QByteArray DecryptPadded(const QByteArray& hex)
{
    return unpad(decipherHex(QString::fromLatin1(hex)));
}
QString DecryptPadded(const QString& hex)
{
    return codepage::fromAnsi(unpad(decipherHex(hex)));
}

QByteArray ExtractField(const QByteArray& s, int n, char sep)
{
    if (n < 1)
        return QByteArray();
    qsizetype start = 0;
    for (int field = 1; field < n; ++field) {
        const qsizetype at = s.indexOf(sep, start);
        if (at < 0)
            return QByteArray();
        start = at + 1;
    }
    qsizetype end = s.indexOf(sep, start);
    if (end < 0)
        end = s.size();
    while (start < end && quint8(s.at(start)) <= 0x20)
        ++start;
    while (end > start && quint8(s.at(end - 1)) <= 0x20)
        --end;
    return s.mid(start, end - start);
}
QString ExtractField(const QString& s, int n, QChar sep)
{
    return GetField(s, n, sep);
}

QString EncryptLongToHex(const QByteArray& clear)
{
    QString hex;
    hex.reserve(clear.size() * 2);
    for (qsizetype at = 0; at < clear.size(); at += CipherPieceSize)
        hex += EncryptToHex(clear.mid(at, CipherPieceSize));
    return hex;
}

QByteArray DecryptLongFromHex(const QByteArray& hex)
{
    constexpr qsizetype PieceDigits = 2 * CipherPieceSize;
    QByteArray clear;
    clear.reserve(hex.size() / 2);
    for (qsizetype at = 0; at < hex.size(); at += PieceDigits)
        clear += DecryptFromHex(hex.mid(at, PieceDigits));
    return clear;
}

QByteArray CredentialBytes(const QString& clear)
{
    bool lossless = true;
    QByteArray bytes = codepage::toAnsi(clear, &lossless);
    if (!lossless) {
        throw EConvertError(uiText(UiText::CredentialNotInCodePage).arg(int(codepage::current())));
    }
    return bytes;
}
