// The stored-credential cipher: the GOST 28147-89 block cipher in byte-wise cipher feedback, and
// the string functions built on it with the program's one fixed key and initialisation vector. They
// keep user names and passwords out of plain sight in the INI file; they are not meant to resist a
// determined attacker, who can read the key from the program.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// ---- The GOST unit: a 64-bit block cipher with a 256-bit key, driven one byte at a time

constexpr int GostKeySize = 32;
constexpr int GostBlockSize = 8;

// State of one cipher run. Wipe it with GostBurn when done; the string functions below never keep
// one beyond a call.
struct GostContext
{
    quint8 iv[GostBlockSize];       // as given to GostInit (zeros when none was given)
    quint8 feedback[GostBlockSize]; // feedback register; starts equal to iv
    quint32 key[8];                 // K0..K7, each from four key bytes, little-endian
};

// Loads the key schedule and sets iv and register to `iv` (8 bytes), or to zeros when `iv` is null.
// `keyLen` must be GostKeySize; any other length raises Exception("GOST: Invalid key length") and
// leaves `ctx` untouched.
void GostInit(GostContext& ctx, const void* key, int keyLen, const void* iv);

// Enciphers one 8-byte block; `in` and `out` may be the same buffer. The register is not used.
void GostEncryptBlock(const GostContext& ctx, const void* in, void* out);

// Cipher feedback with 8-bit feedback: `len` bytes in, `len` bytes out, and the register advances,
// so a run may be split over several calls. `in` and `out` may be the same buffer.
void GostEncryptCFB(GostContext& ctx, const void* in, void* out, qsizetype len);
void GostDecryptCFB(GostContext& ctx, const void* in, void* out, qsizetype len);

// Zeroes the whole context, in a way the compiler may not leave out.
void GostBurn(GostContext& ctx);

// ---- String functions with the fixed key and initialisation vector
//
// Every call starts afresh from the initialisation vector: equal texts always give equal results.
// The QByteArray overloads work on the exact bytes. The QString overloads are for credentials: they
// convert to the program's ANSI code page first and refuse (EConvertError, without echoing the
// text) a credential the code page cannot hold; results come back through the same code page.
// Hex text is two upper-case digits per byte, high nibble first, no separators.

// The largest clear text one call handles in the stored formats (1020 hex digits). The functions
// here take longer texts too, as one continuous run; a format made of pieces (the trace copy) cuts
// its text with EncryptLongToHex / DecryptLongFromHex.
constexpr qsizetype CipherPieceSize = 510;

// A credential in the program's ANSI code page, as the QString overloads take it; one the code
// page cannot hold raises EConvertError, whose message leaves the credential out.
QByteArray CredentialBytes(const QString& clear);

// The enciphered bytes, as many as the clear text has.
QByteArray EncryptStr(const QByteArray& clear);
QByteArray EncryptStr(const QString& clear);

// Hex text of the enciphered bytes, twice as long as the clear text in bytes.
QString EncryptToHex(const QByteArray& clear);
QString EncryptToHex(const QString& clear);

// Reads length / 2 bytes from consecutive digit pairs (either case; an odd last digit is ignored)
// and deciphers them. A pair that is not hexadecimal raises EConvertError("'ZZ' is not a valid
// integer value"). The QByteArray overload takes the digits as ASCII bytes.
QByteArray DecryptFromHex(const QByteArray& hex);
QString DecryptFromHex(const QString& hex);

// The padded credential form: the clear text, a tab and random bytes of codes 1 to 254 up to
// `minLen` bytes (nothing added when the text is at least that long), reversed, then EncryptToHex.
// Stored logins use a minLen of 33, so a name of up to 32 bytes always gives 66 digits.
QString EncryptPadded(const QByteArray& clear, int minLen);
QString EncryptPadded(const QString& clear, int minLen);

// Deciphers and reverses a padded form, and returns the text before the first tab with leading and
// trailing blanks and control characters (codes up to 32) removed. Bad hex raises as
// DecryptFromHex.
QByteArray DecryptPadded(const QByteArray& hex);
QString DecryptPadded(const QString& hex);

// The n-th field (counting from 1) of `s` split at `sep`, with codes up to 32 trimmed at both ends;
// empty when `s` has fewer than n fields (or n < 1).
QByteArray ExtractField(const QByteArray& s, int n, char sep);
QString ExtractField(const QString& s, int n, QChar sep);

// A text of any length in pieces of CipherPieceSize bytes, each enciphered by its own EncryptToHex
// (so each starts again from the initialisation vector), the hex texts concatenated in order; and
// its inverse, which deciphers pieces of 2 * CipherPieceSize digits the same way.
QString EncryptLongToHex(const QByteArray& clear);
QByteArray DecryptLongFromHex(const QByteArray& hex);
