// Base64 encoding of a package file into the e-mail's buffer file.
#include "mime64.h"

#include <platform/codepage.h>
#include <platform/exception.h>
#include <platform/fileops.h>

#include <QFile>
#include <QFileInfo>

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int LineBytes = 45;
constexpr int ReadBuffer = 65520;

// Appends the four characters of up to three bytes, "=" standing for the missing ones.
void encodeGroup(const uchar* in, int count, QByteArray& out)
{
    const uint b0 = in[0];
    const uint b1 = count > 1 ? in[1] : 0;
    const uint b2 = count > 2 ? in[2] : 0;
    out += Alphabet[b0 >> 2];
    out += Alphabet[((b0 & 0x03) << 4) | (b1 >> 4)];
    out += count > 1 ? Alphabet[((b1 & 0x0F) << 2) | (b2 >> 6)] : '=';
    out += count > 2 ? Alphabet[b2 & 0x3F] : '=';
}

void put(fileops::FileWriter& out, const QByteArray& bytes)
{
    QString error;
    if (!out.write(bytes, &error))
        throw EInOutError(error);
}

} // namespace

void EncodeFileBase64(const QString& Source, const QString& Target)
{
    QFile in(Source);
    if (!in.open(QIODevice::ReadOnly))
        throw EInOutError(
            QStringLiteral("The file \"%1\" cannot be read: %2").arg(Source, in.errorString()));
    fileops::FileWriter out(Target);
    QString error;
    if (!out.open(&error))
        throw EInOutError(error);
    put(out, "Content-Type: text/plain; charset=US-ASCII; name=" +
                 codepage::toAnsi(QFileInfo(Source).fileName()) +
                 "\r\nContent-transfer-encoding: base64\r\n\r\n");

    QByteArray buffer(ReadBuffer, Qt::Uninitialized);
    QByteArray line; // the source bytes of the line being made
    QByteArray text; // encoded lines waiting to be written
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0)
            throw EInOutError(
                QStringLiteral("The file \"%1\" cannot be read: %2").arg(Source, in.errorString()));
        if (n == 0)
            break;
        for (qint64 i = 0; i < n; ++i) {
            line += buffer.at(i);
            if (line.size() == LineBytes) {
                for (int g = 0; g < LineBytes; g += 3)
                    encodeGroup(reinterpret_cast<const uchar*>(line.constData()) + g, 3, text);
                text += "\r\n";
                line.clear();
            }
        }
        put(out, text);
        text.clear();
    }
    for (qsizetype g = 0; g < line.size(); g += 3)
        encodeGroup(reinterpret_cast<const uchar*>(line.constData()) + g,
                    int(qMin<qsizetype>(3, line.size() - g)), text);
    put(out, text);
    if (!out.commit(&error))
        throw EInOutError(error);
}
