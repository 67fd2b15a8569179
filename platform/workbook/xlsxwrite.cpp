// Writing a workbook as an .xlsx file through libxlsxwriter: sheets, cells (text always as text),
// formats, sizes, print settings, breaks, merged blocks and pictures.
#include "workbook.h"
#include "xlsxnumbers_p.h"
#include "xlsxtext_p.h"
#include "xlsxunits_p.h"

#include <platform/fileops.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <cmath>
#include <map>
#include <vector>

namespace {

// A file holds no number that is not one, nor an infinity: such a value is the spreadsheet's
// error value, written as a formula that gives it (a file has no place for an error value
// without one that this writer can fill).
const char* const NumError = "#NUM!";

lxw_color_t lxwColor(QRgb color)
{
    const lxw_color_t rgb = color & 0xFFFFFF;
    // libxlsxwriter reads 0 as "no colour".
    return rgb == 0 ? lxw_color_t(LXW_COLOR_BLACK) : rgb;
}

QByteArray utf8(const QString& text)
{
    return text.toUtf8();
}

class Writer
{
public:
    Writer(const Workbook& book, lxw_workbook* file) : m_book(book), m_file(file) {}

    void write()
    {
        const QByteArray title = utf8(m_book.Title);
        lxw_doc_properties properties{};
        if (!title.isEmpty()) {
            properties.title = const_cast<char*>(title.constData());
            workbook_set_properties(m_file, &properties);
        }
        for (int n = 1; n <= m_book.SheetCount(); ++n)
            writeSheet(m_book.sheet(n), n, n == m_book.CurrentSheet());
    }

    // The numbers whose text the library writes otherwise, by the part it writes each sheet in.
    const xlsxnumbers::Mends& numberMends() const { return m_mends; }

private:
    static void check(lxw_error error, const QString& what)
    {
        if (error != LXW_NO_ERROR)
            throw EWorkbookError(
                QStringLiteral("%1 : %2").arg(what, QString::fromUtf8(lxw_strerror(error))));
    }

    lxw_format* formatOf(int index)
    {
        if (index == 0)
            return nullptr;
        if (size_t(index) < m_formats.size() && m_formats[size_t(index)])
            return m_formats[size_t(index)];
        lxw_format* f = workbook_add_format(m_file);
        const CellFormat& c = m_book.format(index);
        const CellFont defaults;
        if (c.Font.Name != defaults.Name)
            format_set_font_name(f, utf8(c.Font.Name).constData());
        if (c.Font.Size != defaults.Size)
            format_set_font_size(f, std::clamp(c.Font.Size, 1.0, 409.0));
        if (c.Font.Bold)
            format_set_bold(f);
        if (c.Font.Italic)
            format_set_italic(f);
        if (c.Font.Underline)
            format_set_underline(f, LXW_UNDERLINE_SINGLE);
        if (c.Font.StrikeOut)
            format_set_font_strikeout(f);
        if ((c.Font.Color & 0xFFFFFF) != 0)
            format_set_font_color(f, lxwColor(c.Font.Color));
        if (c.Font.Charset != 0)
            format_set_font_charset(f, quint8(c.Font.Charset));
        if (c.Pattern != 0) {
            format_set_pattern(f, c.Pattern);
            // For a solid fill the writer takes its background colour as the cell's colour.
            const bool solid = c.Pattern == 1;
            format_set_fg_color(f, lxwColor(solid ? c.BackColor : c.PatternColor));
            format_set_bg_color(f, lxwColor(solid ? c.PatternColor : c.BackColor));
        }
        static const quint8 horizontal[] = {
            LXW_ALIGN_NONE, LXW_ALIGN_LEFT,    LXW_ALIGN_CENTER,       LXW_ALIGN_RIGHT,
            LXW_ALIGN_FILL, LXW_ALIGN_JUSTIFY, LXW_ALIGN_CENTER_ACROSS};
        if (c.Horizontal != HAlign::General)
            format_set_align(f, horizontal[int(c.Horizontal)]);
        if (c.Vertical == VAlign::Top)
            format_set_align(f, LXW_ALIGN_VERTICAL_TOP);
        else if (c.Vertical == VAlign::Center)
            format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
        if (c.WordWrap)
            format_set_text_wrap(f);
        if (const quint8 s = c.border(BorderSide::Left))
            format_set_left(f, s);
        if (const quint8 s = c.border(BorderSide::Right))
            format_set_right(f, s);
        if (const quint8 s = c.border(BorderSide::Top))
            format_set_top(f, s);
        if (const quint8 s = c.border(BorderSide::Bottom))
            format_set_bottom(f, s);
        if (!c.NumberFormat.isEmpty())
            format_set_num_format(f, utf8(c.NumberFormat).constData());
        else if (c.NumberFormatId > 0 && c.NumberFormatId < 164)
            format_set_num_format_index(f, quint8(c.NumberFormatId));
        if (m_formats.size() <= size_t(index))
            m_formats.resize(size_t(index) + 1, nullptr);
        m_formats[size_t(index)] = f;
        return f;
    }

    void writeSizes(lxw_worksheet* ws, const Worksheet& sheet)
    {
        const double defaultChars =
            xlsxunits::pixelsToChars(xlsxunits::twipsToPixels(sheet.DefaultColWidth));
        const bool ownDefault =
            xlsxunits::twipsToPixels(sheet.DefaultColWidth) != xlsxunits::DefaultColPixels;
        // A sheet default of its own has no place in the file: the columns between those set
        // get it one by one (in blocks).
        int next = 1;
        const auto fillTo = [&](int before) {
            if (ownDefault && before > next)
                check(worksheet_set_column(ws, lxw_col_t(next - 1), lxw_col_t(before - 2),
                                           defaultChars, nullptr),
                      QStringLiteral("largeur de colonne"));
        };
        for (const auto& [col, size] : sheet.columns()) {
            fillTo(col);
            next = col + 1;
            lxw_row_col_options options{};
            options.hidden = size.Hidden;
            const int twips = size.Size < 0 ? sheet.DefaultColWidth : size.Size;
            check(worksheet_set_column_opt(
                      ws, lxw_col_t(col - 1), lxw_col_t(col - 1),
                      xlsxunits::pixelsToChars(xlsxunits::twipsToPixels(twips)), nullptr, &options),
                  QStringLiteral("largeur de colonne"));
        }
        fillTo(Workbook::MaxCol + 1);
        if (sheet.DefaultRowHeight != 300)
            worksheet_set_default_row(ws, sheet.DefaultRowHeight / 20.0, LXW_FALSE);
        for (const auto& [row, size] : sheet.rows()) {
            lxw_row_col_options options{};
            options.hidden = size.Hidden;
            const int twips = size.Size < 0 ? sheet.DefaultRowHeight : size.Size;
            check(worksheet_set_row_opt(ws, lxw_row_t(row - 1), twips / 20.0, nullptr, &options),
                  QStringLiteral("hauteur de ligne"));
        }
    }

    void keepNumber(int sheet, quint64 key, double value)
    {
        QByteArray text = xlsxnumbers::shortestText(value);
        if (text == xlsxnumbers::writerText(value))
            return;
        m_mends[QStringLiteral("xl/worksheets/sheet%1.xml").arg(sheet)].push_back(
            {Worksheet::keyRow(key), Worksheet::keyCol(key), std::move(text)});
    }

    void writeCells(lxw_worksheet* ws, const Worksheet& sheet, int n)
    {
        for (const CellRange& m : sheet.Merged) {
            if (m.cellCount() < 2)
                continue;
            const Cell* first = sheet.cellAt(m.Row1, m.Col1);
            check(worksheet_merge_range(ws, lxw_row_t(m.Row1 - 1), lxw_col_t(m.Col1 - 1),
                                        lxw_row_t(m.Row2 - 1), lxw_col_t(m.Col2 - 1), "",
                                        formatOf(first ? first->Format : 0)),
                  QStringLiteral("cellules fusionnées"));
        }
        for (const auto& [key, cell] : sheet.cells()) {
            const auto row = lxw_row_t(Worksheet::keyRow(key) - 1);
            const auto col = lxw_col_t(Worksheet::keyCol(key) - 1);
            lxw_format* format = formatOf(cell.Format);
            lxw_error error = LXW_NO_ERROR;
            switch (cell.kind) {
            case Cell::Kind::Empty:
                error = worksheet_write_blank(ws, row, col, format);
                break;
            case Cell::Kind::Text:
                error = worksheet_write_string(
                    ws, row, col, utf8(xlsxtext::protectEscapes(cell.Text)).constData(), format);
                break;
            case Cell::Kind::Number:
                if (std::isfinite(cell.Number)) {
                    error = worksheet_write_number(ws, row, col, cell.Number, format);
                    keepNumber(n, key, cell.Number);
                } else {
                    error = worksheet_write_formula_str(ws, row, col, NumError, format, NumError);
                }
                break;
            case Cell::Kind::Boolean:
                error = worksheet_write_boolean(ws, row, col, cell.Number != 0, format);
                break;
            case Cell::Kind::Formula:
                if (cell.TextResult) {
                    error = worksheet_write_formula_str(
                        ws, row, col, utf8(cell.Formula).constData(), format,
                        utf8(xlsxtext::protectEscapes(cell.Text)).constData());
                } else if (!std::isfinite(cell.Number)) {
                    error = worksheet_write_formula_str(
                        ws, row, col, utf8(cell.Formula).constData(), format, NumError);
                } else {
                    error = worksheet_write_formula_num(
                        ws, row, col, utf8(cell.Formula).constData(), format, cell.Number);
                    keepNumber(n, key, cell.Number);
                }
                break;
            }
            if (error != LXW_NO_ERROR)
                check(error, QStringLiteral("cellule (ligne %1, colonne %2)")
                                 .arg(Worksheet::keyRow(key))
                                 .arg(Worksheet::keyCol(key)));
        }
    }

    void writePrintSettings(lxw_worksheet* ws, const Worksheet& sheet)
    {
        const PrintSettings& p = sheet.Print;
        if (p.Landscape)
            worksheet_set_landscape(ws);
        worksheet_set_margins(ws, p.LeftMargin, p.RightMargin, p.TopMargin, p.BottomMargin);
        lxw_header_footer_options header{};
        header.margin = p.HeaderMargin;
        lxw_header_footer_options footer{};
        footer.margin = p.FooterMargin;
        check(worksheet_set_header_opt(ws, utf8(p.Header).constData(), &header),
              QStringLiteral("en-tête"));
        check(worksheet_set_footer_opt(ws, utf8(p.Footer).constData(), &footer),
              QStringLiteral("pied de page"));
        if (p.HCenter)
            worksheet_center_horizontally(ws);
        if (p.VCenter)
            worksheet_center_vertically(ws);
        worksheet_gridlines(ws, p.GridLines ? LXW_SHOW_ALL_GRIDLINES : LXW_SHOW_SCREEN_GRIDLINES);
        if (p.Scale != 100)
            worksheet_set_print_scale(ws, quint16(std::clamp(p.Scale, 10, 400)));
        writeBreaks(ws, sheet.RowBreaks, true);
        writeBreaks(ws, sheet.ColBreaks, false);
        if (sheet.ViewScale != 100)
            worksheet_set_zoom(ws, quint16(std::clamp(sheet.ViewScale, 10, 400)));
        const CellRange& s = sheet.Selection();
        if (!(s == CellRange{}))
            worksheet_set_selection(ws, lxw_row_t(s.Row1 - 1), lxw_col_t(s.Col1 - 1),
                                    lxw_row_t(s.Row2 - 1), lxw_col_t(s.Col2 - 1));
    }

    void writeBreaks(lxw_worksheet* ws, const QList<int>& breaks, bool rows)
    {
        // The writer's break is the 0-based number of the new page's first row (column); the
        // list ends with 0.
        std::vector<quint32> list;
        for (int b : breaks) {
            if (b > 1)
                list.push_back(quint32(b - 1));
        }
        if (list.empty())
            return;
        if (list.size() > LXW_BREAKS_MAX)
            throw EWorkbookError(QStringLiteral("La feuille « %1 » a plus de %2 sauts de page")
                                     .arg(ws->name ? QString::fromUtf8(ws->name) : QString())
                                     .arg(LXW_BREAKS_MAX));
        list.push_back(0);
        if (rows) {
            std::vector<lxw_row_t> r(list.begin(), list.end());
            check(worksheet_set_h_pagebreaks(ws, r.data()), QStringLiteral("sauts de page"));
        } else {
            std::vector<lxw_col_t> c(list.begin(), list.end());
            check(worksheet_set_v_pagebreaks(ws, c.data()), QStringLiteral("sauts de page"));
        }
    }

    void writePictures(lxw_worksheet* ws, const Worksheet& sheet)
    {
        const xlsxunits::SheetPixels px(sheet);
        for (const Picture& picture : sheet.Pictures) {
            const QRectF& a = picture.Anchor;
            const int col = std::clamp(int(a.left()), 0, Workbook::MaxCol - 1);
            const int row = std::clamp(int(a.top()), 0, Workbook::MaxRow - 1);
            const double width = px.xOf(a.right()) - px.xOf(a.left());
            const double height = px.yOf(a.bottom()) - px.yOf(a.top());
            if (picture.Image.isNull() || picture.Data.isEmpty() || width <= 0 || height <= 0)
                continue;
            // The writer sizes a picture by the resolution its PNG file states.
            const double dpiX =
                picture.Image.dotsPerMeterX() > 0 ? picture.Image.dotsPerMeterX() * 0.0254 : 96.0;
            const double dpiY =
                picture.Image.dotsPerMeterY() > 0 ? picture.Image.dotsPerMeterY() * 0.0254 : 96.0;
            lxw_image_options options{};
            options.x_offset = int(std::lround(px.xOf(a.left()) - px.xOf(col)));
            options.y_offset = int(std::lround(px.yOf(a.top()) - px.yOf(row)));
            options.x_scale = width * dpiX / (picture.Image.width() * 96.0);
            options.y_scale = height * dpiY / (picture.Image.height() * 96.0);
            options.description = const_cast<char*>("");
            check(worksheet_insert_image_buffer_opt(
                      ws, lxw_row_t(row), lxw_col_t(col),
                      reinterpret_cast<const unsigned char*>(picture.Data.constData()),
                      size_t(picture.Data.size()), &options),
                  QStringLiteral("image"));
        }
    }

    void writeSheet(const Worksheet& sheet, int n, bool current)
    {
        const QByteArray name = utf8(sheet.Name);
        lxw_worksheet* ws = workbook_add_worksheet(m_file, name.constData());
        if (!ws)
            throw EWorkbookError(QStringLiteral("Nom de feuille refusé : « %1 »").arg(sheet.Name));
        if (current)
            worksheet_activate(ws);
        writeSizes(ws, sheet);
        writeCells(ws, sheet, n);
        writePrintSettings(ws, sheet);
        writePictures(ws, sheet);
    }

    const Workbook& m_book;
    lxw_workbook* m_file;
    std::vector<lxw_format*> m_formats; // by the book's format index, made on first use
    xlsxnumbers::Mends m_mends;
};

void checkSheetNames(const Workbook& book)
{
    QStringList names;
    for (int n = 1; n <= book.SheetCount(); ++n) {
        const QString& name = book.sheet(n).Name;
        const QString fault = Workbook::SheetNameFault(name);
        if (!fault.isEmpty())
            throw EWorkbookError(QStringLiteral("Le classeur ne peut pas être écrit : ") + fault);
        if (names.contains(name, Qt::CaseInsensitive))
            throw EWorkbookError(
                QStringLiteral(
                    "Le classeur ne peut pas être écrit : deux feuilles s'appellent « %1 »")
                    .arg(name));
        names.append(name);
    }
}

} // namespace

void Workbook::Write(const QString& path) const
{
    checkSheetNames(*this);
    const QFileInfo target(path);
    // The file is made beside its final place and renamed over it only once it is whole.
    QTemporaryFile temporary(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                             QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        throw EWorkbookError(
            QStringLiteral("Impossible de créer un fichier dans %1 : %2")
                .arg(QDir::toNativeSeparators(target.absolutePath()), temporary.errorString()));
    temporary.close();
    const QString temporaryName = temporary.fileName();

    lxw_workbook_options options{};
    options.use_zip64 = LXW_FALSE;
    lxw_workbook* file = workbook_new_opt(QFile::encodeName(temporaryName).constData(), &options);
    if (!file)
        throw EWorkbookError(QStringLiteral("Impossible d'écrire %1").arg(path));
    Writer writer(*this, file);
    try {
        writer.write();
    } catch (...) {
        // Closing writes the file, which the temporary object then removes.
        workbook_close(file);
        throw;
    }
    const lxw_error closed = workbook_close(file);
    if (closed != LXW_NO_ERROR)
        throw EWorkbookError(QStringLiteral("Impossible d'écrire %1 : %2")
                                 .arg(path, QString::fromUtf8(lxw_strerror(closed))));
    // Numbers the library's text would change are mended in a copy, made beside the file too.
    QTemporaryFile mended(temporary.fileTemplate());
    QString whole = temporaryName;
    if (!writer.numberMends().empty()) {
        if (!mended.open())
            throw EWorkbookError(
                QStringLiteral("Impossible de créer un fichier dans %1 : %2")
                    .arg(QDir::toNativeSeparators(target.absolutePath()), mended.errorString()));
        mended.close();
        const QString fault =
            xlsxnumbers::rewritePackage(temporaryName, mended.fileName(), writer.numberMends());
        if (!fault.isEmpty())
            throw EWorkbookError(QStringLiteral("Impossible d'écrire %1 : %2").arg(path, fault));
        whole = mended.fileName();
    }
    const QFile::Permissions permissions =
        target.exists()
            ? QFile::permissions(path)
            : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QFile::setPermissions(whole, permissions);
    QString error;
    if (!fileops::rename(whole, path, &error))
        throw EWorkbookError(QStringLiteral("Impossible d'écrire %1 : %2").arg(path, error));
    (whole == temporaryName ? temporary : mended).setAutoRemove(false);
}
