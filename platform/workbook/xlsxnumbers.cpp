// Numbers of the cells as an .xlsx file keeps them: the shortest text of a double, and the copy of
// the package libxlsxwriter wrote with the cells mended whose text it would not read back whole.
#include "xlsxnumbers_p.h"

#include "workbook.h"

#include <QFile>

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace xlsxnumbers {

QByteArray shortestText(double value)
{
    // "-d.ddde-XX": the shortest digits, one before the point.
    char text[40];
    const char* end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific).ptr;
    const std::string_view scientific(text, std::size_t(end - text));
    const std::size_t e = scientific.find('e');
    const bool negative = scientific.front() == '-';
    QByteArray digits;
    for (char c : scientific.substr(negative ? 1 : 0, e - (negative ? 1 : 0))) {
        if (c != '.')
            digits += c;
    }
    int exponent = 0;
    const char* from = scientific.data() + e + 1;
    std::from_chars(from + (*from == '+' ? 1 : 0), end, exponent);

    QByteArray out = negative ? "-" : "";
    if (exponent < -4 || exponent >= 16) {
        out += digits.left(1);
        if (digits.size() > 1)
            out += '.' + digits.mid(1);
        out += exponent < 0 ? "E-" : "E+";
        out += QByteArray::number(std::abs(exponent)).rightJustified(2, '0');
    } else if (exponent < 0) {
        out += "0." + QByteArray(-exponent - 1, '0') + digits;
    } else {
        out += digits.left(exponent + 1).leftJustified(exponent + 1, '0');
        if (digits.size() > exponent + 1)
            out += '.' + digits.mid(exponent + 1);
    }
    return out;
}

QByteArray writerText(double value)
{
    // As the library prints it, in this thread's locale as the library sees it.
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%.16G", value);
    return n > 0 && n < int(sizeof text) ? QByteArray(text, n) : QByteArray();
}

namespace {

// The part with the given cells' values replaced. The library writes a number cell as
// <c r="B2" s="1"><v>...</v></c>, with <f>...</f> before the value for a formula; no text of a
// part holds "<" unescaped, so the cells are found by their start tags.
QString mendPart(const QByteArray& xml, const std::vector<CellText>& cells, QByteArray& out)
{
    out.clear();
    out.reserve(xml.size() + qsizetype(cells.size()) * 8);
    qsizetype done = 0;
    for (const CellText& cell : cells) {
        const QString name = Worksheet::cellName(cell.Row, cell.Col);
        const qsizetype start = xml.indexOf("<c r=\"" + name.toLatin1() + '"', done);
        const qsizetype tagEnd = start < 0 ? -1 : xml.indexOf('>', start);
        const qsizetype cellEnd = tagEnd < 0 ? -1 : xml.indexOf("</c>", tagEnd);
        const qsizetype value = cellEnd < 0 ? -1 : xml.indexOf("<v>", tagEnd);
        const qsizetype valueEnd = value < 0 ? -1 : xml.indexOf("</v>", value);
        if (valueEnd < 0 || valueEnd > cellEnd || xml.at(tagEnd - 1) == '/')
            return QStringLiteral("la valeur de la cellule %1 est introuvable").arg(name);
        out.append(xml.constData() + done, value + 3 - done);
        out += cell.Text;
        done = valueEnd;
    }
    out.append(xml.constData() + done, xml.size() - done);
    return QString();
}

struct Input
{
    unzFile file;
    ~Input()
    {
        if (file)
            unzClose(file);
    }
};

struct Output
{
    zipFile file;
    ~Output()
    {
        if (file)
            zipClose(file, nullptr);
    }
};

} // namespace

QString rewritePackage(const QString& from, const QString& to, const Mends& mends)
{
    const Input in{unzOpen64(QFile::encodeName(from).constData())};
    if (!in.file)
        return QStringLiteral("le fichier écrit ne peut pas être relu");
    Output out{zipOpen64(QFile::encodeName(to).constData(), APPEND_STATUS_CREATE)};
    if (!out.file)
        return QStringLiteral("impossible de créer le fichier");
    std::size_t mended = 0;
    int status = unzGoToFirstFile(in.file);
    for (; status == UNZ_OK; status = unzGoToNextFile(in.file)) {
        unz_file_info64 info{};
        char name[1024];
        if (unzGetCurrentFileInfo64(in.file, &info, name, sizeof name, nullptr, 0, nullptr, 0) !=
            UNZ_OK)
            return QStringLiteral("le fichier écrit ne peut pas être relu");
        const QString part = QString::fromUtf8(name);
        const auto mend = mends.find(part);
        // Parts left as they are keep their compressed bytes.
        const int raw = mend == mends.end() ? 1 : 0;
        int method = 0;
        int level = 0;
        if (unzOpenCurrentFile2(in.file, &method, &level, raw) != UNZ_OK)
            return QStringLiteral("%1 ne peut pas être relu").arg(part);
        QByteArray data;
        char buffer[65536];
        int n = 0;
        while ((n = unzReadCurrentFile(in.file, buffer, sizeof buffer)) > 0)
            data.append(buffer, n);
        if (unzCloseCurrentFile(in.file) != UNZ_OK || n < 0)
            return QStringLiteral("%1 ne peut pas être relu").arg(part);
        if (!raw) {
            QByteArray mendedPart;
            const QString fault = mendPart(data, mend->second, mendedPart);
            if (!fault.isEmpty())
                return QStringLiteral("%1 : %2").arg(part, fault);
            data = mendedPart;
            ++mended;
        }
        zip_fileinfo meta{};
        meta.tmz_date = {info.tmu_date.tm_sec,  info.tmu_date.tm_min, info.tmu_date.tm_hour,
                         info.tmu_date.tm_mday, info.tmu_date.tm_mon, info.tmu_date.tm_year};
        meta.dosDate = info.dosDate;
        meta.internal_fa = info.internal_fa;
        meta.external_fa = info.external_fa;
        const int zip64 =
            quint64(data.size()) >= 0xFFFFFFFFu || info.uncompressed_size >= 0xFFFFFFFFu;
        bool written =
            zipOpenNewFileInZip2_64(out.file, name, &meta, nullptr, 0, nullptr, 0, nullptr,
                                    raw ? method : Z_DEFLATED, raw ? level : Z_DEFAULT_COMPRESSION,
                                    raw, zip64) == ZIP_OK;
        for (qsizetype at = 0; written && at < data.size(); at += sizeof buffer) {
            const auto chunk = unsigned(std::min<qsizetype>(sizeof buffer, data.size() - at));
            written = zipWriteInFileInZip(out.file, data.constData() + at, chunk) == ZIP_OK;
        }
        if (written)
            written = (raw ? zipCloseFileInZipRaw64(out.file, info.uncompressed_size, info.crc)
                           : zipCloseFileInZip(out.file)) == ZIP_OK;
        if (!written)
            return QStringLiteral("%1 n'a pas pu être écrit").arg(part);
    }
    if (status != UNZ_END_OF_LIST_OF_FILE)
        return QStringLiteral("le fichier écrit ne peut pas être relu");
    if (mended != mends.size())
        return QStringLiteral("une feuille écrite est introuvable");
    const int closed = zipClose(out.file, nullptr);
    out.file = nullptr;
    if (closed != ZIP_OK)
        return QStringLiteral("le fichier n'a pas pu être écrit");
    return QString();
}

} // namespace xlsxnumbers
