// The one routine that draws a sheet, on the screen, on a picture or on a printer's page: cell
// fills, grid lines, borders, texts (aligned, wrapped, overflowing into empty neighbours, centred
// across), pictures, page breaks and the selection. Sizes come from the sheet in twips and are
// scaled to the device.
#pragma once

#include "workbook.h"

#include <QRectF>

class QPainter;

struct SheetView
{
    // Device units per twip: the zoom times the device's dots per inch, over 1440.
    double PixelsPerTwip = 96.0 / 1440;
    // The device units of a thin line (one pixel on the screen, 1/96 inch on paper).
    double LineWidth = 1;
    // The cell drawn at the area's top-left corner, and the last cell drawn (0: as far as the
    // area reaches).
    int TopRow = 1;
    int LeftCol = 1;
    int LastRow = 0;
    int LastCol = 0;
    bool GridLines = true;
    bool PageBreaks = false;
    bool Selection = false;
    bool Pictures = true;
};

// Draws the sheet into `area` (device units), clipped to it; the painter is left as it was.
void paintSheet(QPainter& painter, const Worksheet& sheet, const QRectF& area,
                const SheetView& view);

// The cell under a point given from the area's top-left corner; false past the last row or
// column.
bool cellAtPoint(const Worksheet& sheet, const SheetView& view, const QPointF& point, int& row,
                 int& col);

// The twips from the left edge of column `from` to the left edge of column `to` (negative when
// `to` lies left of `from`); the same for rows. Hidden ones take nothing.
double twipsAcrossCols(const Worksheet& sheet, int from, int to);
double twipsAcrossRows(const Worksheet& sheet, int from, int to);

// Draws one printed page of the sheet on a page of `paper` (device units, the whole sheet of
// paper) at `dpi` device dots per inch: margins, scale and centring of the sheet's print
// settings, its header and footer ("&P" page `pageNumber` of `pageCount`).
void paintPage(QPainter& painter, const Worksheet& sheet, const PrintPage& page,
               const QRectF& paper, double dpi, int pageNumber, int pageCount);
