// The page reports are laid out for: the default printer's paper as it stands, else A4 upright.
#pragma once

#include <optional>

struct TPageMetrics
{
    // The whole sheet of paper in points (72 to the inch), as the printer is turned.
    int Width = 595;
    int Height = 842;
    bool Landscape = false;
};

// The default printer's page; A4 upright when there is no printer.
TPageMetrics PrinterPageMetrics();
// Tests give the page the machine's printers would otherwise decide; nullopt asks them again.
void SetPrinterPageMetricsForTesting(std::optional<TPageMetrics> metrics);

// The width, in points, that a report of that orientation fits: the page's width (its height
// when the orientation differs from the printer's) less 10 points.
int PrinterPageWidth(bool Landscape);
