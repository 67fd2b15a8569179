// The program's spreadsheet: an in-memory workbook of sheets, with cells holding text (and, for
// workbooks made by other programs, numbers and formulas), cell formats, column and row sizes in
// twips, per-sheet print settings, page breaks, pictures and a selection. It is written to and read
// from .xlsx files (xlsxfile.h) and drawn by one painting routine (workbookpaint.h).
#pragma once

#include <platform/exception.h>

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <array>
#include <map>
#include <memory>
#include <vector>

// A workbook that cannot be read or written, or an operation outside the sheet's limits.
QV_EXCEPTION_CLASS(EWorkbookError, Exception)

// A block of cells, rows and columns from 1, both ends included.
struct CellRange
{
    int Row1 = 1;
    int Col1 = 1;
    int Row2 = 1;
    int Col2 = 1;

    bool contains(int row, int col) const
    {
        return row >= Row1 && row <= Row2 && col >= Col1 && col <= Col2;
    }
    qint64 cellCount() const { return qint64(Row2 - Row1 + 1) * (Col2 - Col1 + 1); }
    friend bool operator==(const CellRange&, const CellRange&) = default;
};

enum class HAlign : quint8 { General, Left, Center, Right, Fill, Justify, CenterAcross };
enum class VAlign : quint8 { Top, Center, Bottom };
enum class BorderSide : quint8 { Left, Right, Top, Bottom };

struct CellFont
{
    QString Name = QStringLiteral("Calibri");
    double Size = 11; // points
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    QRgb Color = 0xFF000000;
    int Charset = 0; // 0: the file's default; 204: Cyrillic

    friend bool operator==(const CellFont&, const CellFont&) = default;
};

// Line styles of a border, as .xlsx numbers them: 0 none, 1 thin, 2 medium, 5 thick, ...
constexpr quint8 ThinBorder = 1;

// Everything a cell's look is made of. The default format is the .xlsx default (Calibri 11).
struct CellFormat
{
    CellFont Font;
    // The fill: 0 none, 1 solid, 2 to 18 the .xlsx patterns in their order (medium grey ...
    // grey 0625). A solid fill shows PatternColor; the others PatternColor over BackColor.
    quint8 Pattern = 0;
    QRgb PatternColor = 0xFF000000;
    QRgb BackColor = 0xFFFFFFFF;
    HAlign Horizontal = HAlign::General;
    VAlign Vertical = VAlign::Bottom;
    bool WordWrap = false;
    std::array<quint8, 4> Borders{}; // by BorderSide
    // Number formats of cells read from other programs' workbooks: a built-in format by its .xlsx
    // number (0: general), or the format's own text.
    int NumberFormatId = 0;
    QString NumberFormat;

    quint8 border(BorderSide side) const { return Borders[size_t(side)]; }
    void setBorder(BorderSide side, quint8 style) { Borders[size_t(side)] = style; }
    friend bool operator==(const CellFormat&, const CellFormat&) = default;
};

size_t qHash(const CellFormat& format, size_t seed = 0);

struct Cell
{
    enum class Kind : quint8 { Empty, Text, Number, Boolean, Formula };
    Kind kind = Kind::Empty;
    // Text: the text. Formula: the formula (without "="), its last value in Number or, when
    // TextResult is set, in Text.
    QString Text;
    QString Formula;
    double Number = 0;
    bool TextResult = false;
    int Format = 0; // index into the workbook's formats; 0 is the default format

    bool hasValue() const { return kind != Kind::Empty; }
    friend bool operator==(const Cell&, const Cell&) = default;
};

// Print settings of a sheet; margins in inches. Header and footer use the .xlsx codes
// ("&C&P" centres the page number).
struct PrintSettings
{
    double LeftMargin = 0.7;
    double RightMargin = 0.7;
    double TopMargin = 0.75;
    double BottomMargin = 0.75;
    double HeaderMargin = 0.3;
    double FooterMargin = 0.3;
    bool Landscape = false;
    bool HCenter = false;
    bool VCenter = false;
    bool GridLines = false;
    QString Header;
    QString Footer;
    int Scale = 100; // percent, 10 to 400

    friend bool operator==(const PrintSettings&, const PrintSettings&) = default;
};

// A picture placed over the cells: its corners in fractional cell coordinates from the sheet's
// top-left corner (1.5 is the middle of column, or row, 2).
struct Picture
{
    int Id = 0;
    QImage Image;
    QByteArray Data; // the picture as a PNG file, as it is written
    QRectF Anchor;   // left, top, right and bottom edges
    bool Selected = false;

    friend bool operator==(const Picture& a, const Picture& b)
    {
        return a.Id == b.Id && a.Image == b.Image && a.Anchor == b.Anchor;
    }
};

// The printed page's cells: a band of rows and a band of columns.
struct PrintPage
{
    CellRange Cells;
};

class Workbook;

// A column or a row: its size in twips (-1: the sheet's default) and whether it is hidden.
struct LineSize
{
    int Size = -1;
    bool Hidden = false;
    friend bool operator==(const LineSize&, const LineSize&) = default;
};

class Worksheet
{
public:
    explicit Worksheet(Workbook* book, QString name);
    Worksheet(const Worksheet&) = delete;
    Worksheet& operator=(const Worksheet&) = delete;

    Workbook& book() const { return *m_book; }
    QString Name;

    // ---- cells; rows from 1 to Workbook::MaxRow, columns from 1 to Workbook::MaxCol. A cell
    // outside raises EWorkbookError.
    const Cell* cellAt(int row, int col) const;
    // The text of a text cell, the formula's text result, or a number as the painting shows it
    // ("#NUM!" for one that is not a number, or infinite: the file holds the error value).
    QString Text(int row, int col) const;
    // Always text, whatever it looks like ("=1+1" stays text). A text longer in the file than
    // Workbook::MaxTextLength (its characters that XML cannot carry take their escapes there)
    // raises EWorkbookError naming the cell, and the cell stays as it was; SetFormulaText holds
    // its text result to the same.
    void SetText(int row, int col, const QString& text);
    void SetNumber(int row, int col, double value);
    void SetBoolean(int row, int col, bool value);
    void SetFormula(int row, int col, const QString& formula, double value);
    void SetFormulaText(int row, int col, const QString& formula, const QString& value);
    // The cell's value goes; its format stays.
    void ClearValue(int row, int col);
    const std::map<quint64, Cell>& cells() const { return m_cells; }
    static quint64 cellKey(int row, int col) { return quint64(row) * 16384u + quint64(col - 1); }
    static int keyRow(quint64 key) { return int(key / 16384u); }
    static int keyCol(quint64 key) { return int(key % 16384u) + 1; }
    // "B12" for row 12, column 2.
    static QString cellName(int row, int col);

    // The last row and column holding a value or a format (0 on an empty sheet).
    int LastRow() const;
    int LastCol() const;

    const CellFormat& FormatAt(int row, int col) const;
    void SetFormatAt(int row, int col, const CellFormat& format);

    // ---- the selection: a block and an active cell inside it. A cell made active outside the
    // block makes it the block; one inside keeps the block.
    const CellRange& Selection() const { return m_selection; }
    int Row() const { return m_activeRow; }
    int Col() const { return m_activeCol; }
    // The block, its top-left cell active.
    void SetSelection(const CellRange& range);
    void SetActiveCell(int row, int col);
    // The format of the active cell.
    CellFormat SelectionFormat() const;
    // Gives every cell of the block the format.
    void SetSelectionFormat(const CellFormat& format);
    // Changes every cell of the block's format by `change` (one attribute, the others kept).
    template <class Change> void ModifySelectionFormat(Change change);
    // With pictures selected: removes them. Otherwise empties the block's cells of values and
    // formats.
    void ClearSelection();

    // ---- merged blocks (kept for workbooks made elsewhere)
    QList<CellRange> Merged;

    // ---- sizes in twips
    int DefaultColWidth = 960; // 64 pixels at 96 dpi, the .xlsx default
    int DefaultRowHeight = 300;
    int ColWidth(int col) const;
    void SetColWidth(int col, int twips);
    bool ColHidden(int col) const;
    void SetColHidden(int col, bool hidden);
    int RowHeight(int row) const;
    void SetRowHeight(int row, int twips);
    bool RowHidden(int row) const;
    void SetRowHidden(int row, bool hidden);
    // What a hidden column or row takes: 0.
    int ShownColWidth(int col) const { return ColHidden(col) ? 0 : ColWidth(col); }
    int ShownRowHeight(int row) const { return RowHidden(row) ? 0 : RowHeight(row); }
    const std::map<int, LineSize>& columns() const { return m_cols; }
    const std::map<int, LineSize>& rows() const { return m_rows; }

    // ---- printing and the view
    PrintSettings Print;
    int ViewScale = 100; // percent
    int TopRow = 1;
    int LeftCol = 1;
    // Manual page breaks, each the first row (column) of a new page, ascending.
    QList<int> RowBreaks;
    QList<int> ColBreaks;
    void AddRowBreak(int row);
    void AddColBreak(int col);
    // The manual breaks and those the page size makes, up to the last row (column) used.
    QList<int> AllRowBreaks() const;
    QList<int> AllColBreaks() const;
    // The pages in print order (down, then over); one empty page for an empty sheet.
    QList<PrintPage> Pages() const;
    // The last row and column that hold a value, a format or a picture.
    int PrintLastRow() const;
    int PrintLastCol() const;

    // ---- pictures, in the order they were placed
    QList<Picture> Pictures;
    // Places a picture with a new identifier of the book; returns it.
    int AddPicture(const QImage& image, const QRectF& anchor);
    Picture* findPicture(int id);
    bool anyPictureSelected() const;

    // Everything but the name and the pictures' identifiers equal (the formats compared by value).
    bool sameContent(const Worksheet& other) const;

private:
    friend class Workbook;
    void checkCell(int row, int col) const;
    void checkText(int row, int col, const QString& text) const;
    Cell& cellFor(int row, int col);
    void dropIfBare(quint64 key);
    void touch();
    QList<int> autoBreaks(const QList<int>& manual, int last, bool rows) const;

    Workbook* m_book;
    std::map<quint64, Cell> m_cells;
    std::map<int, LineSize> m_cols;
    std::map<int, LineSize> m_rows;
    CellRange m_selection;
    int m_activeRow = 1;
    int m_activeCol = 1;
};

class Workbook : public QObject
{
    Q_OBJECT
public:
    // The limits of an .xlsx sheet.
    static constexpr int MaxRow = 1048576;
    static constexpr int MaxCol = 16384;
    static constexpr int MaxSheetNameLength = 31;
    // The longest text a cell holds, in UTF-16 units, as spreadsheet programs count it.
    static constexpr int MaxTextLength = 32767;

    // One empty sheet, "Sheet1".
    explicit Workbook(QObject* parent = nullptr);
    ~Workbook() override;

    QString Title;
    QString FileName;
    // The paper the page breaks are worked out for, in points, upright (A4 unless set).
    QSizeF PageSize{595.2756, 841.8898};

    // ---- sheets, numbered from 1; one is current, and the operations of one sheet act on it
    int SheetCount() const { return int(m_sheets.size()); }
    int CurrentSheet() const { return m_current; }
    // Outside 1 to SheetCount: nothing.
    void SetCurrentSheet(int sheet);
    Worksheet& sheet(int n);
    const Worksheet& sheet(int n) const;
    Worksheet& current() { return sheet(m_current); }
    const Worksheet& current() const { return sheet(m_current); }
    QString SheetName(int n) const { return sheet(n).Name; }
    void SetSheetName(int n, const QString& name);
    // Inserts `count` new sheets before sheet `before` (SheetCount + 1 appends), named "Sheet" and
    // the first free number. The current sheet stays the same sheet.
    void InsertSheets(int before, int count);
    // Deletes `count` sheets from `first`; the last sheet is never deleted.
    void DeleteSheets(int first, int count);
    // Appends a copy of another book's sheet (cells, formats, sizes, print settings, breaks,
    // merged blocks, pictures with new identifiers); returns its number.
    int CopySheet(const Workbook& from, int n, const QString& name);
    int SheetByName(const QString& name) const; // letter case ignored; 0 when none

    // A name .xlsx takes for a sheet: the characters []:*?/\ become "_", the name is cut to 31
    // characters ("Sheet" for an empty one); then, while another name of `taken` equals it
    // without regard to case, "_" is added, the name cut to leave room.
    static QString FitSheetName(const QString& name, const QStringList& taken);
    // Why .xlsx refuses a sheet name; empty when it takes it.
    static QString SheetNameFault(const QString& name);

    // ---- formats: a pool shared by the book's cells; index 0 is the default format
    const CellFormat& format(int index) const { return m_formats.at(size_t(index)); }
    int addFormat(const CellFormat& format);
    int formatCount() const { return int(m_formats.size()); }

    // ---- files (.xlsx)
    // Writes the book under a temporary name beside the file, then renames it over the file.
    // Raises EWorkbookError (a name .xlsx refuses, a full disk) and leaves an existing file as
    // it was.
    void Write(const QString& path) const;
    // Replaces the book's contents with the file's. A file that is not an .xlsx workbook, is
    // damaged, or holds what this book cannot keep (charts, pivot tables, macros, embedded
    // objects, comments, ...) raises EWorkbookError and leaves the book as it was.
    void Read(const QString& path);
    // Read from the parts of a workbook package already unpacked (by name).
    void ReadParts(const QHash<QString, QByteArray>& parts);

    // ---- repainting: while on, every change is announced by changed()
    bool RepaintEnabled() const { return m_repaint; }
    void SetRepaintEnabled(bool on);
    void touch();

    // The next identifier of a picture placed in this book.
    int newObjectId() { return ++m_lastObjectId; }

    // Empties the book to one sheet "Sheet1"; Title and FileName are kept.
    void Clear();
    // Takes the other book's sheets, formats and title (a book just read).
    void TakeContents(Workbook& other);

signals:
    void changed();

private:
    QString freeSheetName() const;
    int findOrAddFormat(const CellFormat& format);

    std::vector<std::unique_ptr<Worksheet>> m_sheets;
    int m_current = 1;
    std::vector<CellFormat> m_formats;
    QHash<CellFormat, int> m_formatIndex;
    int m_lastFormat = 0;
    int m_lastObjectId = 0;
    bool m_repaint = true;
};

template <class Change> void Worksheet::ModifySelectionFormat(Change change)
{
    for (int row = m_selection.Row1; row <= m_selection.Row2; ++row) {
        for (int col = m_selection.Col1; col <= m_selection.Col2; ++col) {
            CellFormat format = FormatAt(row, col);
            change(format);
            SetFormatAt(row, col, format);
        }
    }
}
