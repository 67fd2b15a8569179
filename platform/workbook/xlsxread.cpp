// Reading an .xlsx workbook: the package's parts through libminizip, each part's XML through
// QXmlStreamReader. What the model keeps is taken back; a workbook holding anything else, or a
// damaged one, is refused whole.
#include "workbook.h"
#include "xlsxtext_p.h"
#include "xlsxunits_p.h"

#include <QDateTime>
#include <QFile>
#include <QXmlStreamReader>

#include <minizip/unzip.h>

#include <cmath>
#include <optional>

namespace {

// Bounds that keep a small damaged or hostile file from taking the machine's memory.
constexpr qint64 MaxPartBytes = 256LL << 20;
constexpr qint64 MaxPackageBytes = 768LL << 20;
constexpr int MaxParts = 10000;
constexpr int MaxMergedBlocks = 65536;

[[noreturn]] void refuse(const QString& reason)
{
    throw EWorkbookError(reason);
}

[[noreturn]] void damaged(const QString& what)
{
    refuse(QStringLiteral("Le classeur est endommagé (%1)").arg(what));
}

// ---- the package

QHash<QString, QByteArray> unzipPackage(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    unzFile zip = unzOpen64(name.constData());
    if (!zip)
        refuse(QStringLiteral("Ce fichier n'est pas un classeur .xlsx lisible"));
    struct Closer
    {
        unzFile zip;
        ~Closer() { unzClose(zip); }
    } closer{zip};

    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip, &global) != UNZ_OK || global.number_entry > MaxParts)
        damaged(QStringLiteral("répertoire de l'archive"));
    QHash<QString, QByteArray> parts;
    qint64 total = 0;
    int status = unzGoToFirstFile(zip);
    while (status == UNZ_OK) {
        unz_file_info64 info{};
        char entry[1024];
        if (unzGetCurrentFileInfo64(zip, &info, entry, sizeof entry, nullptr, 0, nullptr, 0) !=
            UNZ_OK)
            damaged(QStringLiteral("entrée de l'archive"));
        QString partName = QString::fromUtf8(entry).toLower();
        if (partName.startsWith(QLatin1Char('/')))
            partName.remove(0, 1);
        if (info.uncompressed_size > quint64(MaxPartBytes))
            refuse(
                QStringLiteral("Le classeur contient une partie trop grande (%1)").arg(partName));
        if (info.flag & 1)
            refuse(QStringLiteral("Le classeur est chiffré"));
        if (parts.contains(partName))
            damaged(QStringLiteral("partie en double %1").arg(partName));
        if (!partName.endsWith(QLatin1Char('/'))) {
            if (unzOpenCurrentFile(zip) != UNZ_OK)
                damaged(partName);
            QByteArray data;
            data.reserve(qsizetype(info.uncompressed_size));
            char buffer[65536];
            int n = 0;
            while ((n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0) {
                total += n;
                if (data.size() + n > MaxPartBytes || total > MaxPackageBytes)
                    refuse(QStringLiteral("Le classeur est trop grand"));
                data.append(buffer, n);
            }
            const int closed = unzCloseCurrentFile(zip);
            if (n < 0 || closed != UNZ_OK || quint64(data.size()) != info.uncompressed_size)
                damaged(partName);
            parts.insert(partName, data);
        }
        status = unzGoToNextFile(zip);
    }
    if (status != UNZ_END_OF_LIST_OF_FILE)
        damaged(QStringLiteral("répertoire de l'archive"));
    return parts;
}

// ---- XML helpers

bool truthy(QStringView value, bool absent = true)
{
    if (value.isNull())
        return absent;
    return value == u"1" || value == u"true" || value == u"on";
}

int intOf(QStringView value, int def = 0)
{
    bool ok = false;
    const int v = value.toInt(&ok);
    return ok ? v : def;
}

double doubleOf(QStringView value, double def = 0)
{
    bool ok = false;
    const double v = value.toDouble(&ok);
    return ok && std::isfinite(v) ? v : def;
}

// The relationship id of an element ("r:id", "r:embed"), whatever the prefix is bound to.
QString relationshipAttribute(const QXmlStreamAttributes& attributes, QStringView name)
{
    for (const QXmlStreamAttribute& a : attributes) {
        if (a.name() == name && a.namespaceUri().endsWith(u"relationships"))
            return a.value().toString();
    }
    return QString();
}

class Xml
{
public:
    Xml(const QByteArray& data, const QString& part) : m_reader(data), m_part(part) {}

    // The next start element inside the current one; false at its end.
    bool child(int depth)
    {
        while (!m_reader.atEnd()) {
            const auto token = m_reader.readNext();
            if (token == QXmlStreamReader::StartElement) {
                ++m_depth;
                if (m_depth == depth + 1)
                    return true;
            } else if (token == QXmlStreamReader::EndElement) {
                --m_depth;
                if (m_depth < depth)
                    return false;
            }
        }
        check();
        return false;
    }
    int depth() const { return m_depth; }
    QStringView name() const { return m_reader.name(); }
    QXmlStreamAttributes attributes() const { return m_reader.attributes(); }
    QStringView attribute(QStringView name) const
    {
        return m_reader.attributes().value(name.toString());
    }
    // The text of the current element, its children's texts included; leaves it.
    QString text()
    {
        QString out;
        const int level = m_depth;
        while (!m_reader.atEnd()) {
            const auto token = m_reader.readNext();
            if (token == QXmlStreamReader::Characters)
                out += m_reader.text();
            else if (token == QXmlStreamReader::StartElement)
                ++m_depth;
            else if (token == QXmlStreamReader::EndElement && --m_depth < level)
                return out;
        }
        check();
        return out;
    }
    // The text of the `t` children of a string item (rich runs joined, phonetic runs left out),
    // its escapes decoded.
    QString stringItem()
    {
        QString out;
        const int level = m_depth;
        while (child(level)) {
            if (name() == u"t") {
                out += xlsxtext::decodeEscapes(text());
            } else if (name() == u"r") {
                const int run = m_depth;
                while (child(run)) {
                    if (name() == u"t")
                        out += xlsxtext::decodeEscapes(text());
                }
            }
        }
        return out;
    }
    void check() const
    {
        if (m_reader.hasError())
            damaged(QStringLiteral("%1 : %2").arg(m_part, m_reader.errorString()));
    }

private:
    QXmlStreamReader m_reader;
    QString m_part;
    int m_depth = 0;
};

// ---- colours

QRgb indexedColor(int index)
{
    static const QRgb palette[64] = {
        0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
        0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
        0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
        0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
        0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
        0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
        0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
        0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};
    if (index >= 0 && index < 64)
        return 0xFF000000 | palette[index];
    return index == 65 ? 0xFFFFFFFF : 0xFF000000; // 64: text, 65: background
}

// The colours of the default Office theme, by theme index.
QRgb themeColor(int index)
{
    static const QRgb theme[] = {0xFFFFFF, 0x000000, 0xE7E6E6, 0x44546A, 0x4472C4, 0xED7D31,
                                 0xA5A5A5, 0xFFC000, 0x5B9BD5, 0x70AD47, 0x0563C1, 0x954F72};
    return 0xFF000000 | (index >= 0 && index < 12 ? theme[index] : 0x000000);
}

QRgb colorOf(const Xml& xml, QRgb def)
{
    const QStringView rgb = xml.attribute(u"rgb");
    if (!rgb.isNull()) {
        bool ok = false;
        const uint value = rgb.toUInt(&ok, 16);
        return ok ? (0xFF000000 | (value & 0xFFFFFF)) : def;
    }
    if (!xml.attribute(u"indexed").isNull())
        return indexedColor(intOf(xml.attribute(u"indexed"), 64));
    if (!xml.attribute(u"theme").isNull())
        return themeColor(intOf(xml.attribute(u"theme"), 1));
    return def;
}

// ---- names of the file's enumerations

quint8 patternOf(QStringView name)
{
    static const char* const names[] = {
        "none",           "solid",           "mediumGray",    "darkGray",  "lightGray",
        "darkHorizontal", "darkVertical",    "darkDown",      "darkUp",    "darkGrid",
        "darkTrellis",    "lightHorizontal", "lightVertical", "lightDown", "lightUp",
        "lightGrid",      "lightTrellis",    "gray125",       "gray0625"};
    for (quint8 i = 0; i < std::size(names); ++i) {
        if (name == QLatin1String(names[i]))
            return i;
    }
    return 0;
}

quint8 borderStyleOf(QStringView name)
{
    static const char* const names[] = {"none",
                                        "thin",
                                        "medium",
                                        "dashed",
                                        "dotted",
                                        "thick",
                                        "double",
                                        "hair",
                                        "mediumDashed",
                                        "dashDot",
                                        "mediumDashDot",
                                        "dashDotDot",
                                        "mediumDashDotDot",
                                        "slantDashDot"};
    for (quint8 i = 0; i < std::size(names); ++i) {
        if (name == QLatin1String(names[i]))
            return i;
    }
    return 0;
}

HAlign horizontalOf(QStringView name)
{
    if (name == u"left")
        return HAlign::Left;
    if (name == u"center")
        return HAlign::Center;
    if (name == u"right")
        return HAlign::Right;
    if (name == u"fill")
        return HAlign::Fill;
    if (name == u"justify" || name == u"distributed")
        return HAlign::Justify;
    if (name == u"centerContinuous")
        return HAlign::CenterAcross;
    return HAlign::General;
}

VAlign verticalOf(QStringView name)
{
    if (name == u"top")
        return VAlign::Top;
    if (name == u"center" || name == u"justify" || name == u"distributed")
        return VAlign::Center;
    return VAlign::Bottom;
}

// "B12" as row 12, column 2.
std::optional<std::pair<int, int>> cellRef(QStringView ref)
{
    int col = 0;
    qsizetype i = 0;
    if (ref.startsWith(u'$'))
        ++i;
    for (; i < ref.size() && ref[i].isLetter() && ref[i].unicode() < 128; ++i) {
        col = col * 26 + (ref[i].toUpper().unicode() - 'A' + 1);
        if (col > Workbook::MaxCol)
            return std::nullopt;
    }
    if (i < ref.size() && ref[i] == u'$')
        ++i;
    bool ok = false;
    const int row = ref.mid(i).toInt(&ok);
    if (col < 1 || !ok || row < 1 || row > Workbook::MaxRow)
        return std::nullopt;
    return std::pair{row, col};
}

std::optional<CellRange> rangeRef(QStringView ref)
{
    const qsizetype colon = ref.indexOf(u':');
    const auto a = cellRef(colon < 0 ? ref : ref.left(colon));
    const auto b = colon < 0 ? a : cellRef(ref.mid(colon + 1));
    if (!a || !b)
        return std::nullopt;
    return CellRange{std::min(a->first, b->first), std::min(a->second, b->second),
                     std::max(a->first, b->first), std::max(a->second, b->second)};
}

// ---- the reader

class Reader
{
public:
    Reader(const QHash<QString, QByteArray>& parts, Workbook& book) : m_parts(parts), m_book(book)
    {
    }

    void read()
    {
        refuseWhatIsNotKept();
        const QString workbookPart =
            target(QString(), relationships(QString()), QStringLiteral("officeDocument"));
        if (workbookPart.isEmpty() || !m_parts.contains(workbookPart))
            refuse(QStringLiteral("Ce fichier n'est pas un classeur .xlsx lisible"));
        readTitle();
        const auto rels = relationships(workbookPart);
        readStrings(target(workbookPart, rels, QStringLiteral("sharedStrings")));
        readStyles(target(workbookPart, rels, QStringLiteral("styles")));
        readWorkbook(workbookPart, rels);
    }

private:
    struct Relationship
    {
        QString type; // the last part of the type URI ("worksheet", "image", ...)
        QString target;
    };
    using Relationships = QHash<QString, Relationship>;

    QByteArray part(const QString& name) const
    {
        const auto it = m_parts.constFind(name);
        if (it == m_parts.cend())
            damaged(QStringLiteral("partie manquante %1").arg(name));
        return *it;
    }

    void refuseWhatIsNotKept() const
    {
        struct Kind
        {
            const char* prefix;
            const char* what;
        };
        static const Kind kinds[] = {
            {"xl/charts/", "des graphiques"},
            {"xl/chartsheets/", "des graphiques"},
            {"xl/pivottables/", "des tableaux croisés dynamiques"},
            {"xl/pivotcache/", "des tableaux croisés dynamiques"},
            {"xl/vbaproject", "des macros"},
            {"xl/macrosheets/", "des macros"},
            {"xl/dialogsheets/", "des feuilles de dialogue"},
            {"xl/embeddings/", "des objets incorporés"},
            {"xl/activex/", "des contrôles"},
            {"xl/ctrlprops/", "des contrôles"},
            {"xl/comments", "des commentaires"},
            {"xl/threadedcomments/", "des commentaires"},
            {"xl/tables/", "des tableaux"},
            {"xl/externallinks/", "des liaisons externes"},
            {"xl/slicers/", "des segments"},
            {"xl/slicercaches/", "des segments"},
            {"xl/querytables/", "des requêtes"},
            {"xl/connections.xml", "des connexions de données"},
        };
        for (auto it = m_parts.cbegin(); it != m_parts.cend(); ++it) {
            for (const Kind& k : kinds) {
                if (it.key().startsWith(QLatin1String(k.prefix)))
                    refuse(
                        QStringLiteral("Le classeur contient %1").arg(QString::fromUtf8(k.what)));
            }
        }
    }

    static QString folderOf(const QString& part)
    {
        const qsizetype slash = part.lastIndexOf(QLatin1Char('/'));
        return slash < 0 ? QString() : part.left(slash + 1);
    }

    static QString resolve(const QString& base, const QString& target)
    {
        QString path =
            target.startsWith(QLatin1Char('/')) ? target.mid(1) : folderOf(base) + target;
        QStringList out;
        for (const QString& piece : path.toLower().split(QLatin1Char('/'))) {
            if (piece == QLatin1String("..")) {
                if (!out.isEmpty())
                    out.removeLast();
            } else if (!piece.isEmpty() && piece != QLatin1String(".")) {
                out.append(piece);
            }
        }
        return out.join(QLatin1Char('/'));
    }

    // The relationships of a part (of the package itself for an empty name), by id.
    Relationships relationships(const QString& partName) const
    {
        const QString relsName = folderOf(partName) + QStringLiteral("_rels/") +
                                 partName.mid(folderOf(partName).size()) + QStringLiteral(".rels");
        Relationships out;
        const auto it = m_parts.constFind(relsName);
        if (it == m_parts.cend())
            return out;
        Xml xml(*it, relsName);
        if (!xml.child(0))
            damaged(relsName);
        while (xml.child(1)) {
            if (xml.name() != u"Relationship")
                continue;
            if (xml.attribute(u"TargetMode") == u"External")
                refuse(QStringLiteral("Le classeur contient des liaisons externes"));
            const QString type = xml.attribute(u"Type").toString();
            out.insert(xml.attribute(u"Id").toString(),
                       {type.mid(type.lastIndexOf(QLatin1Char('/')) + 1),
                        resolve(partName, xml.attribute(u"Target").toString())});
        }
        return out;
    }

    static QString target(const QString&, const Relationships& rels, const QString& type)
    {
        for (const Relationship& r : rels) {
            if (r.type == type)
                return r.target;
        }
        return QString();
    }

    void readTitle()
    {
        const QString core =
            target(QString(), relationships(QString()), QStringLiteral("core-properties"));
        if (core.isEmpty() || !m_parts.contains(core))
            return;
        Xml xml(part(core), core);
        if (!xml.child(0))
            return;
        while (xml.child(1)) {
            if (xml.name() == u"title")
                m_book.Title = xml.text();
        }
    }

    void readStrings(const QString& name)
    {
        if (name.isEmpty())
            return;
        Xml xml(part(name), name);
        if (!xml.child(0))
            damaged(name);
        while (xml.child(1)) {
            if (xml.name() == u"si")
                m_strings.append(xml.stringItem());
        }
    }

    void readStyles(const QString& name)
    {
        if (name.isEmpty())
            return;
        Xml xml(part(name), name);
        if (!xml.child(0))
            damaged(name);
        QHash<int, QString> numberFormats;
        QList<CellFont> fonts;
        QList<CellFormat> fills; // pattern and colours only
        QList<std::array<quint8, 4>> borders;
        while (xml.child(1)) {
            const QStringView section = xml.name();
            if (section == u"numFmts") {
                while (xml.child(2)) {
                    if (xml.name() == u"numFmt")
                        numberFormats.insert(intOf(xml.attribute(u"numFmtId"), -1),
                                             xml.attribute(u"formatCode").toString());
                }
            } else if (section == u"fonts") {
                while (xml.child(2))
                    fonts.append(readFont(xml));
            } else if (section == u"fills") {
                while (xml.child(2))
                    fills.append(readFill(xml));
            } else if (section == u"borders") {
                while (xml.child(2))
                    borders.append(readBorder(xml));
            } else if (section == u"cellXfs") {
                while (xml.child(2)) {
                    if (xml.name() != u"xf")
                        continue;
                    CellFormat f;
                    const auto pick = [&xml](QStringView attr, qsizetype count) {
                        const int i = intOf(xml.attribute(attr), 0);
                        if (i < 0 || (i >= count && i != 0))
                            damaged(QStringLiteral("styles"));
                        return i;
                    };
                    if (const int i = pick(u"fontId", fonts.size()); i < fonts.size())
                        f.Font = fonts.at(i);
                    if (const int i = pick(u"fillId", fills.size()); i < fills.size()) {
                        f.Pattern = fills.at(i).Pattern;
                        f.PatternColor = fills.at(i).PatternColor;
                        f.BackColor = fills.at(i).BackColor;
                    }
                    if (const int i = pick(u"borderId", borders.size()); i < borders.size())
                        f.Borders = borders.at(i);
                    const int id = intOf(xml.attribute(u"numFmtId"), 0);
                    if (numberFormats.contains(id))
                        f.NumberFormat = numberFormats.value(id);
                    else if (id > 0 && id < 164)
                        f.NumberFormatId = id;
                    const int level = xml.depth();
                    while (xml.child(level)) {
                        if (xml.name() == u"alignment") {
                            f.Horizontal = horizontalOf(xml.attribute(u"horizontal"));
                            f.Vertical = verticalOf(xml.attribute(u"vertical"));
                            f.WordWrap = truthy(xml.attribute(u"wrapText"), false);
                        }
                    }
                    m_formats.append(m_book.addFormat(f));
                }
            }
        }
    }

    static CellFont readFont(Xml& xml)
    {
        CellFont font;
        font.Name.clear();
        const int level = xml.depth();
        while (xml.child(level)) {
            const QStringView n = xml.name();
            const QStringView val = xml.attribute(u"val");
            if (n == u"b")
                font.Bold = truthy(val);
            else if (n == u"i")
                font.Italic = truthy(val);
            else if (n == u"strike")
                font.StrikeOut = truthy(val);
            else if (n == u"u")
                font.Underline = val != u"none";
            else if (n == u"sz")
                font.Size = doubleOf(val, 11);
            else if (n == u"name")
                font.Name = val.toString();
            else if (n == u"charset")
                font.Charset = intOf(val, 0);
            else if (n == u"color")
                font.Color = colorOf(xml, font.Color);
        }
        if (font.Name.isEmpty())
            font.Name = CellFont().Name;
        return font;
    }

    static CellFormat readFill(Xml& xml)
    {
        CellFormat fill;
        const int level = xml.depth();
        while (xml.child(level)) {
            if (xml.name() != u"patternFill")
                continue;
            fill.Pattern = patternOf(xml.attribute(u"patternType"));
            while (xml.child(level + 1)) {
                if (xml.name() == u"fgColor")
                    fill.PatternColor = colorOf(xml, fill.PatternColor);
                else if (xml.name() == u"bgColor")
                    fill.BackColor = colorOf(xml, fill.BackColor);
            }
        }
        return fill;
    }

    static std::array<quint8, 4> readBorder(Xml& xml)
    {
        std::array<quint8, 4> sides{};
        const int level = xml.depth();
        while (xml.child(level)) {
            const QStringView n = xml.name();
            const quint8 style = borderStyleOf(xml.attribute(u"style"));
            if (n == u"left" || n == u"start")
                sides[size_t(BorderSide::Left)] = style;
            else if (n == u"right" || n == u"end")
                sides[size_t(BorderSide::Right)] = style;
            else if (n == u"top")
                sides[size_t(BorderSide::Top)] = style;
            else if (n == u"bottom")
                sides[size_t(BorderSide::Bottom)] = style;
        }
        return sides;
    }

    void readWorkbook(const QString& name, const Relationships& rels)
    {
        Xml xml(part(name), name);
        if (!xml.child(0))
            damaged(name);
        int activeTab = 0;
        QList<std::pair<QString, QString>> sheets; // name, part
        while (xml.child(1)) {
            const QStringView section = xml.name();
            if (section == u"workbookPr" && truthy(xml.attribute(u"date1904"), false)) {
                refuse(QStringLiteral("Le classeur compte ses dates depuis 1904"));
            } else if (section == u"bookViews") {
                while (xml.child(2)) {
                    if (xml.name() == u"workbookView")
                        activeTab = intOf(xml.attribute(u"activeTab"), 0);
                }
            } else if (section == u"definedNames") {
                while (xml.child(2))
                    refuse(QStringLiteral("Le classeur contient des noms définis"));
            } else if (section == u"sheets") {
                while (xml.child(2)) {
                    if (xml.name() != u"sheet")
                        continue;
                    const QStringView state = xml.attribute(u"state");
                    if (!state.isNull() && state != u"visible")
                        refuse(QStringLiteral("Le classeur contient des feuilles masquées"));
                    const Relationship r =
                        rels.value(relationshipAttribute(xml.attributes(), u"id"));
                    if (r.type != u"worksheet")
                        refuse(QStringLiteral("Le classeur contient des feuilles d'un autre type"));
                    sheets.append({xml.attribute(u"name").toString(), r.target});
                }
            }
        }
        if (sheets.isEmpty())
            damaged(QStringLiteral("aucune feuille"));
        m_book.DeleteSheets(1, m_book.SheetCount());
        for (qsizetype i = 0; i < sheets.size(); ++i) {
            if (i > 0)
                m_book.InsertSheets(m_book.SheetCount() + 1, 1);
            Worksheet& sheet = m_book.sheet(int(i) + 1);
            sheet.Name = sheets[i].first;
            readSheet(sheet, sheets[i].second);
        }
        m_book.SetCurrentSheet(activeTab + 1);
    }

    int formatIndex(QStringView s) const
    {
        if (s.isNull())
            return 0;
        const int i = intOf(s, -1);
        if (i < 0 || (i >= m_formats.size() && i != 0))
            damaged(QStringLiteral("style de cellule %1").arg(s));
        return i < m_formats.size() ? m_formats.at(i) : 0;
    }

    void readCell(Xml& xml, Worksheet& sheet, int row, int& col)
    {
        const QStringView ref = xml.attribute(u"r");
        if (!ref.isNull()) {
            const auto at = cellRef(ref);
            if (!at || at->first != row)
                damaged(QStringLiteral("cellule %1").arg(ref));
            col = at->second;
        } else if (++col > Workbook::MaxCol) {
            damaged(QStringLiteral("colonne hors limites"));
        }
        const QString type = xml.attribute(u"t").toString();
        const int format = formatIndex(xml.attribute(u"s"));
        std::optional<QString> value;
        std::optional<QString> formula;
        const int level = xml.depth();
        while (xml.child(level)) {
            const QStringView n = xml.name();
            if (n == u"v") {
                value = xml.text();
            } else if (n == u"f") {
                const QStringView kind = xml.attribute(u"t");
                if (!kind.isNull() && kind != u"normal")
                    refuse(QStringLiteral(
                        "Le classeur contient des formules partagées ou matricielles"));
                formula = xml.text();
            } else if (n == u"is") {
                value = xml.stringItem();
            }
        }
        // A formula written without its value (openpyxl does so) has an empty one.
        if (formula && value && value->isEmpty())
            value.reset();
        const auto number = [&]() {
            bool ok = true;
            const double v = value ? value->toDouble(&ok) : 0.0;
            if (!ok || !std::isfinite(v))
                damaged(QStringLiteral("valeur de cellule %1").arg(*value));
            return v;
        };
        const auto stringValue = [&]() -> QString {
            if (type == u"s") {
                bool ok = false;
                const int index = value ? value->toInt(&ok) : -1;
                if (!ok || index < 0 || index >= m_strings.size())
                    damaged(QStringLiteral("texte partagé %1").arg(value.value_or(QString())));
                return m_strings.at(index);
            }
            // A formula's text result (and a text written in the cell) takes the escapes of
            // shared texts.
            if (type == u"str")
                return xlsxtext::decodeEscapes(value.value_or(QString()));
            return value.value_or(QString());
        };
        if (formula) {
            if (type == u"str" || type == u"e" || type == u"s" || type == u"inlineStr")
                sheet.SetFormulaText(row, col, *formula, stringValue());
            else
                sheet.SetFormula(row, col, *formula, value ? number() : 0.0);
        } else if (type == u"s" || type == u"str" || type == u"inlineStr") {
            sheet.SetText(row, col, stringValue());
        } else if (type == u"b") {
            if (value)
                sheet.SetBoolean(row, col, number() != 0);
        } else if (type == u"e") {
            refuse(QStringLiteral("Le classeur contient des cellules en erreur"));
        } else if (type == u"d") {
            if (value) {
                const QDateTime when = QDateTime::fromString(*value, Qt::ISODateWithMs);
                if (!when.isValid())
                    damaged(QStringLiteral("date %1").arg(*value));
                sheet.SetNumber(row, col,
                                QDate(1899, 12, 30).daysTo(when.date()) +
                                    when.time().msecsSinceStartOfDay() / 86400000.0);
            }
        } else if (value) {
            sheet.SetNumber(row, col, number());
        }
        if (format != 0)
            sheet.SetFormatAt(row, col, m_book.format(format));
    }

    void readSheetData(Xml& xml, Worksheet& sheet)
    {
        int row = 0;
        const int level = xml.depth();
        while (xml.child(level)) {
            if (xml.name() != u"row")
                continue;
            const QStringView r = xml.attribute(u"r");
            const int next = r.isNull() ? row + 1 : intOf(r, -1);
            if (next <= row || next > Workbook::MaxRow)
                damaged(QStringLiteral("ligne %1").arg(r));
            row = next;
            const int height = int(std::lround(doubleOf(xml.attribute(u"ht"), 15) * 20));
            if (!xml.attribute(u"ht").isNull() && truthy(xml.attribute(u"customHeight"), false) &&
                height != sheet.DefaultRowHeight)
                sheet.SetRowHeight(row, height);
            if (truthy(xml.attribute(u"hidden"), false))
                sheet.SetRowHidden(row, true);
            int col = 0;
            while (xml.child(level + 1)) {
                if (xml.name() == u"c")
                    readCell(xml, sheet, row, col);
            }
        }
    }

    void readSheet(Worksheet& sheet, const QString& name)
    {
        Xml xml(part(name), name);
        if (!xml.child(0))
            damaged(name);
        QString drawing;
        const Relationships rels = relationships(name);
        while (xml.child(1)) {
            const QStringView section = xml.name();
            if (section == u"sheetViews") {
                while (xml.child(2)) {
                    if (xml.name() != u"sheetView")
                        continue;
                    sheet.ViewScale = std::clamp(intOf(xml.attribute(u"zoomScale"), 100), 10, 400);
                    if (const auto top = cellRef(xml.attribute(u"topLeftCell"))) {
                        sheet.TopRow = top->first;
                        sheet.LeftCol = top->second;
                    }
                    while (xml.child(3)) {
                        if (xml.name() != u"selection")
                            continue;
                        const QStringView sqref = xml.attribute(u"sqref");
                        if (const auto range = rangeRef(sqref.left(sqref.indexOf(u' '))))
                            sheet.SetSelection(*range);
                        if (const auto active = cellRef(xml.attribute(u"activeCell")))
                            sheet.SetActiveCell(active->first, active->second);
                    }
                }
            } else if (section == u"sheetFormatPr") {
                if (!xml.attribute(u"defaultRowHeight").isNull())
                    sheet.DefaultRowHeight =
                        int(std::lround(doubleOf(xml.attribute(u"defaultRowHeight"), 15) * 20));
                if (!xml.attribute(u"defaultColWidth").isNull())
                    sheet.DefaultColWidth = xlsxunits::TwipsPerPixel *
                                            xlsxunits::storedCharsToPixels(
                                                doubleOf(xml.attribute(u"defaultColWidth"), 8.43));
                else if (!xml.attribute(u"baseColWidth").isNull())
                    sheet.DefaultColWidth =
                        xlsxunits::TwipsPerPixel *
                        ((std::clamp(intOf(xml.attribute(u"baseColWidth"), 8), 0, 255) * 7 + 5 +
                          7) /
                         8 * 8);
            } else if (section == u"cols") {
                int described = 0;
                while (xml.child(2)) {
                    if (xml.name() != u"col")
                        continue;
                    const int first = intOf(xml.attribute(u"min"), 0);
                    const int last = intOf(xml.attribute(u"max"), 0);
                    // Column descriptions do not overlap: together they cover a sheet at most.
                    described += last - first + 1;
                    if (first < 1 || last < first || last > Workbook::MaxCol ||
                        described > Workbook::MaxCol)
                        damaged(QStringLiteral("colonnes %1 à %2").arg(first).arg(last));
                    const bool hidden = truthy(xml.attribute(u"hidden"), false);
                    const double chars = doubleOf(xml.attribute(u"width"), -1);
                    const int twips =
                        xlsxunits::TwipsPerPixel * xlsxunits::storedCharsToPixels(chars);
                    for (int col = first; col <= last; ++col) {
                        // A hidden column of no width keeps the default one it had.
                        if ((chars > 0 || (chars == 0 && !hidden)) &&
                            twips != sheet.DefaultColWidth)
                            sheet.SetColWidth(col, twips);
                        if (hidden)
                            sheet.SetColHidden(col, true);
                    }
                }
            } else if (section == u"sheetData") {
                readSheetData(xml, sheet);
            } else if (section == u"mergeCells") {
                while (xml.child(2)) {
                    if (xml.name() != u"mergeCell")
                        continue;
                    const auto range = rangeRef(xml.attribute(u"ref"));
                    if (!range || sheet.Merged.size() >= MaxMergedBlocks)
                        damaged(QStringLiteral("cellules fusionnées"));
                    sheet.Merged.append(*range);
                }
            } else if (section == u"printOptions") {
                sheet.Print.HCenter = truthy(xml.attribute(u"horizontalCentered"), false);
                sheet.Print.VCenter = truthy(xml.attribute(u"verticalCentered"), false);
                sheet.Print.GridLines = truthy(xml.attribute(u"gridLines"), false);
            } else if (section == u"pageMargins") {
                PrintSettings& p = sheet.Print;
                p.LeftMargin = doubleOf(xml.attribute(u"left"), p.LeftMargin);
                p.RightMargin = doubleOf(xml.attribute(u"right"), p.RightMargin);
                p.TopMargin = doubleOf(xml.attribute(u"top"), p.TopMargin);
                p.BottomMargin = doubleOf(xml.attribute(u"bottom"), p.BottomMargin);
                p.HeaderMargin = doubleOf(xml.attribute(u"header"), p.HeaderMargin);
                p.FooterMargin = doubleOf(xml.attribute(u"footer"), p.FooterMargin);
            } else if (section == u"pageSetup") {
                sheet.Print.Landscape = xml.attribute(u"orientation") == u"landscape";
                sheet.Print.Scale = std::clamp(intOf(xml.attribute(u"scale"), 100), 10, 400);
            } else if (section == u"headerFooter") {
                while (xml.child(2)) {
                    if (xml.name() == u"oddHeader")
                        sheet.Print.Header = xml.text();
                    else if (xml.name() == u"oddFooter")
                        sheet.Print.Footer = xml.text();
                }
            } else if (section == u"rowBreaks" || section == u"colBreaks") {
                const bool rows = section == u"rowBreaks";
                while (xml.child(2)) {
                    if (xml.name() != u"brk" || !truthy(xml.attribute(u"man"), false))
                        continue;
                    const int at = intOf(xml.attribute(u"id"), 0) + 1;
                    if (at < 2 || at > (rows ? Workbook::MaxRow : Workbook::MaxCol))
                        damaged(QStringLiteral("saut de page"));
                    rows ? sheet.AddRowBreak(at) : sheet.AddColBreak(at);
                }
            } else if (section == u"drawing") {
                const Relationship r = rels.value(relationshipAttribute(xml.attributes(), u"id"));
                if (r.type != u"drawing")
                    damaged(QStringLiteral("dessin"));
                drawing = r.target;
            } else if (section == u"hyperlinks") {
                refuse(QStringLiteral("Le classeur contient des liens hypertexte"));
            } else if (section == u"conditionalFormatting") {
                refuse(QStringLiteral("Le classeur contient des mises en forme conditionnelles"));
            } else if (section == u"dataValidations") {
                refuse(QStringLiteral("Le classeur contient des validations de données"));
            } else if (section == u"autoFilter" || section == u"sortState") {
                refuse(QStringLiteral("Le classeur contient des filtres"));
            } else if (section == u"sheetProtection" || section == u"protectedRanges") {
                refuse(QStringLiteral("Le classeur contient des feuilles protégées"));
            } else if (section == u"legacyDrawing" || section == u"legacyDrawingHF" ||
                       section == u"picture" || section == u"oleObjects" ||
                       section == u"controls" || section == u"tableParts") {
                refuse(QStringLiteral(
                    "Le classeur contient des objets que ce programme ne garde pas"));
            }
        }
        if (!drawing.isEmpty())
            readDrawing(sheet, drawing);
    }

    void readDrawing(Worksheet& sheet, const QString& name)
    {
        Xml xml(part(name), name);
        if (!xml.child(0))
            damaged(name);
        const Relationships rels = relationships(name);
        const xlsxunits::SheetPixels px(sheet);
        while (xml.child(1)) {
            const QStringView kind = xml.name();
            if (kind != u"twoCellAnchor" && kind != u"oneCellAnchor" && kind != u"absoluteAnchor")
                refuse(QStringLiteral("Le classeur contient des dessins"));
            std::optional<QPointF> from;
            std::optional<QPointF> to;
            QSizeF extent;
            QString image;
            while (xml.child(2)) {
                const QStringView n = xml.name();
                if (n == u"from" || n == u"to") {
                    double col = 0, colOff = 0, row = 0, rowOff = 0;
                    while (xml.child(3)) {
                        const QStringView m = xml.name();
                        const double v = doubleOf(xml.text(), -1);
                        if (v < 0)
                            damaged(QStringLiteral("position d'image"));
                        (m == u"col"      ? col
                         : m == u"colOff" ? colOff
                         : m == u"row"    ? row
                                          : rowOff) = v;
                    }
                    const QPointF at(px.xOf(col) + colOff / xlsxunits::EmuPerPixel,
                                     px.yOf(row) + rowOff / xlsxunits::EmuPerPixel);
                    (n == u"from" ? from : to) = at;
                } else if (n == u"pos") {
                    from = QPointF(doubleOf(xml.attribute(u"x")) / xlsxunits::EmuPerPixel,
                                   doubleOf(xml.attribute(u"y")) / xlsxunits::EmuPerPixel);
                } else if (n == u"ext") {
                    extent = QSizeF(doubleOf(xml.attribute(u"cx")) / xlsxunits::EmuPerPixel,
                                    doubleOf(xml.attribute(u"cy")) / xlsxunits::EmuPerPixel);
                } else if (n == u"pic") {
                    image = pictureTarget(xml, rels);
                } else if (n != u"clientData") {
                    refuse(QStringLiteral("Le classeur contient des dessins"));
                }
            }
            if (!from || image.isEmpty())
                damaged(QStringLiteral("image"));
            if (!to)
                to = *from + QPointF(extent.width(), extent.height());
            QImage picture = QImage::fromData(part(image));
            if (picture.isNull())
                refuse(QStringLiteral("Le classeur contient une image d'un format illisible"));
            picture.setDotsPerMeterX(3780);
            picture.setDotsPerMeterY(3780);
            sheet.AddPicture(picture, QRectF(QPointF(px.colAt(from->x()), px.rowAt(from->y())),
                                             QPointF(px.colAt(to->x()), px.rowAt(to->y()))));
        }
    }

    QString pictureTarget(Xml& xml, const Relationships& rels)
    {
        QString found;
        const int level = xml.depth();
        while (xml.child(level)) {
            if (xml.name() != u"blipFill")
                continue;
            while (xml.child(level + 1)) {
                if (xml.name() != u"blip")
                    continue;
                const Relationship r =
                    rels.value(relationshipAttribute(xml.attributes(), u"embed"));
                if (r.type != u"image")
                    damaged(QStringLiteral("image"));
                found = r.target;
            }
        }
        return found;
    }

    const QHash<QString, QByteArray>& m_parts;
    Workbook& m_book;
    QStringList m_strings;
    QList<int> m_formats; // the book's format index of each cell style of the file
};

} // namespace

void Workbook::ReadParts(const QHash<QString, QByteArray>& parts)
{
    Workbook read;
    Reader(parts, read).read();
    TakeContents(read);
}

void Workbook::Read(const QString& path)
{
    if (!QFile::exists(path))
        throw EWorkbookError(QStringLiteral("Le fichier %1 n'existe pas").arg(path));
    ReadParts(unzipPackage(path));
    FileName = path;
}
