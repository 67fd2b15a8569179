// The spreadsheet output interface and its implementation on the program's workbook.
#include "rfileit.h"

#include "pagemetrics.h"

#include <platform/workbook/workbook.h>
#include <translation/language.h>

#include <QFileInfo>

#include <cmath>

int CmToTwips(double cm)
{
    return int(std::lround(cm * (1 / 2.541) * 1440));
}

double TwipsToCm(double twips)
{
    return twips * (1.0 / 1440) * 2.541;
}

double InchesToCm(double inches)
{
    return inches * 2.541;
}

double CmToInches(double cm)
{
    return cm * (1 / 2.541);
}

namespace {

double twipsToPoints(double twips)
{
    return CmToInches(TwipsToCm(twips)) * 72;
}

double pointsToCm(double points)
{
    return InchesToCm(points / 72);
}

QRgb rgbOf(TColor color)
{
    const quint32 bgr = ColorToRGB(color);
    return qRgb(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

TColor colorOf(QRgb rgb)
{
    return TColor(qRed(rgb)) | TColor(qGreen(rgb)) << 8 | TColor(qBlue(rgb)) << 16;
}

BorderSide sideOf(TBorderType side)
{
    switch (side) {
    case btLeft:
        return BorderSide::Left;
    case btRight:
        return BorderSide::Right;
    case btTop:
        return BorderSide::Top;
    case btBottom:
        break;
    }
    return BorderSide::Bottom;
}

} // namespace

// ---- the interface

TReportFileIterator::~TReportFileIterator() = default;

void TReportFileIterator::SetFont(const TFont& Font)
{
    SetFontName(Font.Name);
    SetFontSize(Font.Size);
    SetFontColor(Font.Color);
}

void TReportFileIterator::SetBorders(TBorderSet Borders)
{
    for (TBorderType side : {btLeft, btRight, btTop, btBottom})
        SetBorder(side, Borders.Contains(side));
}

// ---- the workbook

TF1Iterator::TF1Iterator() : m_book(std::make_unique<Workbook>())
{
}

TF1Iterator::~TF1Iterator() = default;

QString TF1Iterator::GetFileName()
{
    return m_book->FileName;
}

void TF1Iterator::SelectSheetByName(const QString& Name)
{
    for (int i = 1; i <= m_book->SheetCount(); ++i) {
        if (m_book->SheetName(i).compare(Name, Qt::CaseInsensitive) == 0) {
            m_book->SetCurrentSheet(i);
            return;
        }
    }
}

QString TF1Iterator::GetSheetName()
{
    return m_book->SheetName(m_book->CurrentSheet());
}

void TF1Iterator::SetSheet(int N)
{
    if (N >= 1 && N <= m_book->SheetCount())
        m_book->SetCurrentSheet(N);
}

int TF1Iterator::GetSheet()
{
    return m_book->CurrentSheet();
}

TRect TF1Iterator::GetArea()
{
    return m_area;
}

void TF1Iterator::SetArea(const TRect& Area)
{
    m_book->current().SetSelection(CellRange{Area.Top, Area.Left, Area.Bottom, Area.Right});
    m_currentCol = Area.Left;
    m_currentRow = Area.Top;
    m_area = Area;
}

void TF1Iterator::SetActiveCell(const TPoint& Cell)
{
    if (Cell.X == m_currentCol && Cell.Y == m_currentRow)
        return;
    m_book->current().SetActiveCell(Cell.Y, Cell.X);
    m_currentCol = Cell.X;
    m_currentRow = Cell.Y;
}

void TF1Iterator::SetCellText(const QString& Text)
{
    m_book->current().SetText(m_currentRow, m_currentCol, Text);
}

QString TF1Iterator::GetCellText()
{
    if (m_currentRow > 0 && m_currentCol > 0)
        return m_book->current().Text(m_currentRow, m_currentCol);
    return QString();
}

int TF1Iterator::GetSheetCount()
{
    return m_book->SheetCount();
}

int TF1Iterator::GetMaxRow()
{
    return Workbook::MaxRow;
}

int TF1Iterator::GetMaxCol()
{
    return Workbook::MaxCol;
}

QString TF1Iterator::GetFontName()
{
    return m_book->current().SelectionFormat().Font.Name;
}

void TF1Iterator::SetFontName(const QString& Name)
{
    m_book->current().ModifySelectionFormat([&Name](CellFormat& f) { f.Font.Name = Name; });
    if (CurrentLanguage == 2)
        m_book->current().ModifySelectionFormat([](CellFormat& f) { f.Font.Charset = 204; });
}

TColor TF1Iterator::GetFontColor()
{
    return colorOf(m_book->current().SelectionFormat().Font.Color);
}

void TF1Iterator::SetFontColor(TColor Color)
{
    const QRgb rgb = rgbOf(Color);
    m_book->current().ModifySelectionFormat([rgb](CellFormat& f) { f.Font.Color = rgb; });
}

int TF1Iterator::GetFontSize()
{
    return int(std::lround(m_book->current().SelectionFormat().Font.Size));
}

void TF1Iterator::SetFontSize(int Size)
{
    m_book->current().ModifySelectionFormat([Size](CellFormat& f) { f.Font.Size = Size; });
}

void TF1Iterator::SetFontBold(bool On)
{
    m_book->current().ModifySelectionFormat([On](CellFormat& f) { f.Font.Bold = On; });
}

void TF1Iterator::SetFontItalic(bool On)
{
    m_book->current().ModifySelectionFormat([On](CellFormat& f) { f.Font.Italic = On; });
}

void TF1Iterator::SetFontStrikeout(bool On)
{
    m_book->current().ModifySelectionFormat([On](CellFormat& f) { f.Font.StrikeOut = On; });
}

void TF1Iterator::SetFontUnderline(bool On)
{
    m_book->current().ModifySelectionFormat([On](CellFormat& f) { f.Font.Underline = On; });
}

bool TF1Iterator::GetFontBold()
{
    return m_book->current().SelectionFormat().Font.Bold;
}

bool TF1Iterator::GetFontItalic()
{
    return m_book->current().SelectionFormat().Font.Italic;
}

bool TF1Iterator::GetFontStrikeout()
{
    return m_book->current().SelectionFormat().Font.StrikeOut;
}

bool TF1Iterator::GetFontUnderline()
{
    return m_book->current().SelectionFormat().Font.Underline;
}

bool TF1Iterator::GetWordWrap()
{
    return m_book->current().SelectionFormat().WordWrap;
}

void TF1Iterator::SetWordWrap(bool On)
{
    Worksheet& sheet = m_book->current();
    CellFormat format = sheet.SelectionFormat();
    format.WordWrap = On;
    sheet.SetSelectionFormat(format);
}

TVAlign TF1Iterator::GetVAlign()
{
    switch (m_book->current().SelectionFormat().Vertical) {
    case VAlign::Top:
        return vaTop;
    case VAlign::Center:
        return vaCenter;
    case VAlign::Bottom:
        break;
    }
    return vaBottom;
}

void TF1Iterator::SetVAlign(TVAlign Align)
{
    Worksheet& sheet = m_book->current();
    if (AlignByMoving && m_area.Bottom > m_area.Top) {
        const QString text = GetCellText();
        const CellFormat format = sheet.SelectionFormat();
        const int target = Align == vaTop      ? m_area.Top
                           : Align == vaCenter ? m_area.Top + (m_area.Bottom - m_area.Top) / 2
                                               : m_area.Bottom;
        if (target != m_currentRow) {
            SetCellText(QString());
            SetActiveCell(TPoint{m_currentCol, target});
            SetCellText(text);
            sheet.SetSelectionFormat(format);
        }
    }
    const VAlign v = Align == vaTop      ? VAlign::Top
                     : Align == vaCenter ? VAlign::Center
                                         : VAlign::Bottom;
    sheet.ModifySelectionFormat([v](CellFormat& f) { f.Vertical = v; });
}

THAlign TF1Iterator::GetHAlign()
{
    switch (m_book->current().SelectionFormat().Horizontal) {
    case HAlign::General:
    case HAlign::Left:
        return haLeft;
    case HAlign::Right:
        return haRight;
    default:
        return haCenter;
    }
}

void TF1Iterator::SetHAlign(THAlign Align)
{
    Worksheet& sheet = m_book->current();
    HAlign h = Align == haLeft ? HAlign::Left : Align == haRight ? HAlign::Right : HAlign::Center;
    if (AlignByMoving && m_area.Right > m_area.Left) {
        const QString text = GetCellText();
        const CellFormat format = sheet.SelectionFormat();
        int target = m_currentCol;
        if (Align == haLeft)
            target = m_area.Left;
        else if (Align == haRight)
            target = m_area.Right;
        else
            h = HAlign::CenterAcross;
        if (target != m_currentCol) {
            SetCellText(QString());
            SetActiveCell(TPoint{target, m_currentRow});
            SetCellText(text);
            sheet.SetSelectionFormat(format);
        }
    }
    sheet.ModifySelectionFormat([h](CellFormat& f) { f.Horizontal = h; });
}

void TF1Iterator::SetColor(int Pattern, TColor Foreground, TColor Background)
{
    if (Pattern < 0 || Pattern > 18)
        throw EF1Iterator(QStringLiteral("Motif de remplissage inconnu : %1").arg(Pattern));
    const QRgb fore = rgbOf(Foreground);
    const QRgb back = rgbOf(Background);
    m_book->current().ModifySelectionFormat([=](CellFormat& f) {
        f.Pattern = quint8(Pattern);
        f.PatternColor = fore;
        f.BackColor = back;
    });
}

void TF1Iterator::GetColor(int& Pattern, TColor& Foreground, TColor& Background)
{
    const CellFormat format = m_book->current().SelectionFormat();
    Pattern = format.Pattern;
    Foreground = colorOf(format.PatternColor);
    Background = colorOf(format.BackColor);
}

void TF1Iterator::SetBorder(TBorderType Side, bool Visible)
{
    Worksheet& sheet = m_book->current();
    CellFormat format = sheet.SelectionFormat();
    format.setBorder(sideOf(Side), Visible ? ThinBorder : 0);
    sheet.SetSelectionFormat(format);
}

bool TF1Iterator::GetBorder(TBorderType Side)
{
    return m_book->current().SelectionFormat().border(sideOf(Side)) != 0;
}

void TF1Iterator::SetBorders(TBorderSet Borders)
{
    Worksheet& sheet = m_book->current();
    CellFormat format = sheet.SelectionFormat();
    for (TBorderType side : {btLeft, btRight, btTop, btBottom})
        format.setBorder(sideOf(side), Borders.Contains(side) ? ThinBorder : 0);
    sheet.SetSelectionFormat(format);
}

double TF1Iterator::GetColWidth(int Col)
{
    return TwipsToCm(m_book->current().ColWidth(Col));
}

void TF1Iterator::SetColWidth(int Col, double Cm)
{
    m_book->current().SetColWidth(Col, CmToTwips(Cm));
}

void TF1Iterator::SetRowHeight(int Row, double Cm)
{
    m_book->current().SetRowHeight(Row, CmToTwips(Cm));
}

double TF1Iterator::GetRowHeight(int Row)
{
    return TwipsToCm(m_book->current().RowHeight(Row));
}

double TF1Iterator::GetLeftMargin()
{
    return InchesToCm(m_book->current().Print.LeftMargin);
}

double TF1Iterator::GetRightMargin()
{
    return InchesToCm(m_book->current().Print.RightMargin);
}

double TF1Iterator::GetTopMargin()
{
    return InchesToCm(m_book->current().Print.TopMargin);
}

double TF1Iterator::GetBottomMargin()
{
    return InchesToCm(m_book->current().Print.BottomMargin);
}

double TF1Iterator::GetFooterMargin()
{
    return InchesToCm(m_book->current().Print.FooterMargin);
}

void TF1Iterator::SetLeftMargin(double Cm)
{
    m_book->current().Print.LeftMargin = CmToInches(Cm);
}

void TF1Iterator::SetRightMargin(double Cm)
{
    m_book->current().Print.RightMargin = CmToInches(Cm);
}

void TF1Iterator::SetTopMargin(double Cm)
{
    m_book->current().Print.TopMargin = CmToInches(Cm);
}

void TF1Iterator::SetBottomMargin(double Cm)
{
    m_book->current().Print.BottomMargin = CmToInches(Cm);
}

void TF1Iterator::SetFooterMargin(double Cm)
{
    m_book->current().Print.FooterMargin = CmToInches(Cm);
}

void TF1Iterator::SetLandscape(bool On)
{
    m_book->current().Print.Landscape = On;
}

bool TF1Iterator::GetLandscape()
{
    return m_book->current().Print.Landscape;
}

int TF1Iterator::FitToPageWidth(int MinColumns)
{
    const Worksheet& sheet = m_book->current();
    const double available =
        PrinterPageWidth(GetLandscape()) - CmToInches(GetLeftMargin() + GetRightMargin()) * 72;
    double sum = 0;
    int count = 0;
    int crossing = 0;
    for (int col = 1; col <= Workbook::MaxCol; ++col) {
        sum += twipsToPoints(sheet.ShownColWidth(col));
        if (sum > available) {
            crossing = col;
            break;
        }
        count = col;
    }
    if (crossing == 0)
        return count;
    const double overflow = sum - available;
    if (overflow + 5 > 0 && count >= MinColumns) {
        const double narrowed = GetColWidth(crossing) - pointsToCm(overflow + 5);
        // A column narrowed to nothing would not fit either: it is left as it is.
        if (CmToTwips(narrowed) > 0) {
            SetColWidth(crossing, narrowed);
            ++count;
        }
    }
    return count;
}

void TF1Iterator::LoadFromFile(const QString& FileName)
{
    if (!FileName.isEmpty() && QFileInfo::exists(FileName))
        m_book->Read(FileName);
    else
        NewBook();
}

void TF1Iterator::NewBook()
{
    m_book = std::make_unique<Workbook>();
}

void TF1Iterator::Save()
{
    if (GetFileName().isEmpty())
        throw EF1Iterator(QStringLiteral("File name not defined."));
    m_book->Write(GetFileName());
}

void TF1Iterator::SaveToFile(const QString& FileName)
{
    const PrintSettings current = m_book->current().Print;
    const int sheet = m_book->CurrentSheet();
    for (int i = 1; i <= m_book->SheetCount(); ++i) {
        m_book->SetCurrentSheet(i);
        PrintSettings& p = m_book->current().Print;
        p.BottomMargin = current.BottomMargin;
        p.TopMargin = current.TopMargin;
        p.LeftMargin = current.LeftMargin;
        p.RightMargin = current.RightMargin;
        p.FooterMargin = current.FooterMargin;
        p.Landscape = current.Landscape;
    }
    m_book->SetCurrentSheet(sheet);
    m_book->Write(FileName);
    m_book->FileName = FileName;
}

void TF1Iterator::GetSheetNames(QStringList& Names)
{
    Names.clear();
    for (int i = 1; i <= m_book->SheetCount(); ++i)
        Names.append(m_book->SheetName(i));
}

void TF1Iterator::InsertSheets(int Sheet, int Count)
{
    m_book->InsertSheets(Sheet, Count);
}

void TF1Iterator::DeleteSheets(int Sheet, int Count)
{
    m_book->DeleteSheets(Sheet, Count);
}

void TF1Iterator::SetSheetName(const QString& Name)
{
    m_book->SetSheetName(m_book->CurrentSheet(), Name);
}

void TF1Iterator::ClearSelection()
{
    m_book->current().ClearSelection();
}

void TF1Iterator::SetFont(const TFont& Font)
{
    const QRgb rgb = rgbOf(Font.Color);
    m_book->current().ModifySelectionFormat([&Font, rgb](CellFormat& f) {
        f.Font.Name = Font.Name;
        f.Font.Size = Font.Size;
        f.Font.Bold = Font.Bold;
        f.Font.Italic = Font.Italic;
        f.Font.Underline = Font.Underline;
        f.Font.StrikeOut = Font.StrikeOut;
        f.Font.Color = rgb;
    });
    if (CurrentLanguage == 2)
        m_book->current().ModifySelectionFormat([](CellFormat& f) { f.Font.Charset = 204; });
}
