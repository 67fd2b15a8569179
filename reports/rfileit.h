// The report engine's spreadsheet output: the interface TReportFileIterator (sheets, an output
// area, the current cell and its text, fonts, alignment, fill, borders, sizes in centimetres,
// margins, orientation, loading and saving) and TF1Iterator, its implementation on the program's
// workbook.
#pragma once

#include "graphics.h"

#include <platform/exception.h>

#include <QString>
#include <QStringList>

#include <memory>

class Workbook;

QV_EXCEPTION_CLASS(EF1Iterator, Exception)

// An area of cells: the first and last column, the first and last row.
struct TRect
{
    int Left = -1;
    int Top = -1;
    int Right = -1;
    int Bottom = -1;
    friend bool operator==(const TRect&, const TRect&) = default;
};

// A cell: its column and its row.
struct TPoint
{
    int X = -1;
    int Y = -1;
};

// Sizes cross the interface in centimetres; the workbook works in twips (1440 to the inch) with
// 2.541 centimetres to the inch.
int CmToTwips(double cm);
double TwipsToCm(double twips);
double InchesToCm(double inches);
double CmToInches(double cm);

class TReportFileIterator
{
public:
    // No current cell, no area, alignment by moving on.
    TReportFileIterator() = default;
    virtual ~TReportFileIterator();
    TReportFileIterator(const TReportFileIterator&) = delete;
    TReportFileIterator& operator=(const TReportFileIterator&) = delete;

    virtual QString GetFileName() = 0;
    virtual void SelectSheetByName(const QString& Name) = 0;
    virtual QString GetSheetName() = 0;
    virtual void SetSheet(int N) = 0;
    virtual int GetSheet() = 0;
    virtual TRect GetArea() = 0;
    virtual void SetArea(const TRect& Area) = 0;
    virtual void SetActiveCell(const TPoint& Cell) = 0;
    virtual void SetCellText(const QString& Text) = 0;
    virtual QString GetCellText() = 0;
    virtual int GetSheetCount() = 0;
    virtual int GetMaxRow() = 0;
    virtual int GetMaxCol() = 0;
    virtual QString GetFontName() = 0;
    virtual void SetFontName(const QString& Name) = 0;
    virtual TColor GetFontColor() = 0;
    virtual void SetFontColor(TColor Color) = 0;
    virtual int GetFontSize() = 0;
    virtual void SetFontSize(int Size) = 0;
    virtual void SetFontBold(bool On) = 0;
    virtual void SetFontItalic(bool On) = 0;
    virtual void SetFontStrikeout(bool On) = 0;
    virtual void SetFontUnderline(bool On) = 0;
    virtual bool GetFontBold() = 0;
    virtual bool GetFontItalic() = 0;
    virtual bool GetFontStrikeout() = 0;
    virtual bool GetFontUnderline() = 0;
    virtual bool GetWordWrap() = 0;
    virtual void SetWordWrap(bool On) = 0;
    virtual TVAlign GetVAlign() = 0;
    virtual void SetVAlign(TVAlign Align) = 0;
    virtual THAlign GetHAlign() = 0;
    virtual void SetHAlign(THAlign Align) = 0;
    virtual void SetColor(int Pattern, TColor Foreground, TColor Background) = 0;
    virtual void GetColor(int& Pattern, TColor& Foreground, TColor& Background) = 0;
    virtual void SetBorder(TBorderType Side, bool Visible) = 0;
    virtual bool GetBorder(TBorderType Side) = 0;
    virtual double GetColWidth(int Col) = 0;
    virtual void SetColWidth(int Col, double Cm) = 0;
    virtual void SetRowHeight(int Row, double Cm) = 0;
    virtual double GetRowHeight(int Row) = 0;
    virtual double GetLeftMargin() = 0;
    virtual double GetRightMargin() = 0;
    virtual double GetTopMargin() = 0;
    virtual double GetBottomMargin() = 0;
    virtual double GetFooterMargin() = 0;
    virtual void SetLeftMargin(double Cm) = 0;
    virtual void SetRightMargin(double Cm) = 0;
    virtual void SetTopMargin(double Cm) = 0;
    virtual void SetBottomMargin(double Cm) = 0;
    virtual void SetFooterMargin(double Cm) = 0;
    virtual void SetLandscape(bool On) = 0;
    virtual bool GetLandscape() = 0;
    // The number of columns, from the first, that fit the page's width (see TF1Iterator).
    virtual int FitToPageWidth(int MinColumns) = 0;
    virtual void LoadFromFile(const QString& FileName) = 0;
    virtual void NewBook() = 0;
    virtual void Save() = 0;
    virtual void SaveToFile(const QString& FileName) = 0;
    virtual void GetSheetNames(QStringList& Names) = 0;
    virtual void InsertSheets(int Sheet, int Count) = 0;
    virtual void DeleteSheets(int Sheet, int Count) = 0;
    virtual void SetSheetName(const QString& Name) = 0;
    virtual void ClearSelection() = 0;
    // The font's name, size and colour, through the operations above.
    virtual void SetFont(const TFont& Font);
    // The four sides, left, right, top and bottom, through SetBorder.
    virtual void SetBorders(TBorderSet Borders);

    // Horizontal and vertical alignment inside an area of several cells are obtained by moving
    // the text to the cell that shows it so.
    bool AlignByMoving = true;

protected:
    int m_currentCol = -1;
    int m_currentRow = -1;
    TRect m_area;
};

// The implementation on a workbook of the program. Workbook files are .xlsx files.
class TF1Iterator : public TReportFileIterator
{
public:
    // With a new workbook.
    TF1Iterator();
    ~TF1Iterator() override;

    Workbook& Book() { return *m_book; }

    QString GetFileName() override;
    void SelectSheetByName(const QString& Name) override;
    QString GetSheetName() override;
    void SetSheet(int N) override;
    int GetSheet() override;
    TRect GetArea() override;
    // Selects the area and makes its top-left cell current.
    void SetArea(const TRect& Area) override;
    // Does nothing when the cell is the current one already.
    void SetActiveCell(const TPoint& Cell) override;
    void SetCellText(const QString& Text) override;
    // Empty while no cell is current.
    QString GetCellText() override;
    int GetSheetCount() override;
    int GetMaxRow() override;
    int GetMaxCol() override;
    QString GetFontName() override;
    // Under language 2 the font also takes the Cyrillic character set (204).
    void SetFontName(const QString& Name) override;
    TColor GetFontColor() override;
    // The colour as RGB (a system colour resolved).
    void SetFontColor(TColor Color) override;
    int GetFontSize() override;
    void SetFontSize(int Size) override;
    void SetFontBold(bool On) override;
    void SetFontItalic(bool On) override;
    void SetFontStrikeout(bool On) override;
    void SetFontUnderline(bool On) override;
    bool GetFontBold() override;
    bool GetFontItalic() override;
    bool GetFontStrikeout() override;
    bool GetFontUnderline() override;
    bool GetWordWrap() override;
    void SetWordWrap(bool On) override;
    TVAlign GetVAlign() override;
    // In an area of several rows, the text moves to the area's top, middle or bottom row.
    void SetVAlign(TVAlign Align) override;
    THAlign GetHAlign() override;
    // In an area of several columns, the text moves to its left or right column; centred, it is
    // centred across the area.
    void SetHAlign(THAlign Align) override;
    // Pattern 0 none, 1 solid, 2 to 18 the other fill patterns.
    void SetColor(int Pattern, TColor Foreground, TColor Background) override;
    void GetColor(int& Pattern, TColor& Foreground, TColor& Background) override;
    void SetBorder(TBorderType Side, bool Visible) override;
    bool GetBorder(TBorderType Side) override;
    double GetColWidth(int Col) override;
    void SetColWidth(int Col, double Cm) override;
    void SetRowHeight(int Row, double Cm) override;
    double GetRowHeight(int Row) override;
    double GetLeftMargin() override;
    double GetRightMargin() override;
    double GetTopMargin() override;
    double GetBottomMargin() override;
    double GetFooterMargin() override;
    void SetLeftMargin(double Cm) override;
    void SetRightMargin(double Cm) override;
    void SetTopMargin(double Cm) override;
    void SetBottomMargin(double Cm) override;
    void SetFooterMargin(double Cm) override;
    void SetLandscape(bool On) override;
    bool GetLandscape() override;
    // The columns that fit the printer's page width less both side margins. When at least
    // MinColumns fit, the column that crosses the width is narrowed to fit with 5 points to
    // spare and counted, unless that would leave it no width. The walk goes on past the used
    // columns, up to the last column of a sheet.
    int FitToPageWidth(int MinColumns) override;
    // Reads an .xlsx file; a missing file or an empty name gives a new workbook.
    void LoadFromFile(const QString& FileName) override;
    void NewBook() override;
    // Writes to GetFileName(); EF1Iterator "File name not defined." without one.
    void Save() override;
    // Gives every sheet the current sheet's margins and orientation, writes the book under the
    // name and stays on the current sheet.
    void SaveToFile(const QString& FileName) override;
    void GetSheetNames(QStringList& Names) override;
    void InsertSheets(int Sheet, int Count) override;
    void DeleteSheets(int Sheet, int Count) override;
    void SetSheetName(const QString& Name) override;
    // Removes the selected pictures, or else empties the selected cells.
    void ClearSelection() override;
    // The whole font at once, its colour resolved to RGB.
    void SetFont(const TFont& Font) override;
    void SetBorders(TBorderSet Borders) override;

private:
    std::unique_ptr<Workbook> m_book;
};
