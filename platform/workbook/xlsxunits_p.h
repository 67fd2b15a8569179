// Sizes as .xlsx files keep them: column widths in characters of the default font (7 pixels a
// digit, 5 pixels of padding), row heights in points, drawing offsets in EMU; pixels at 96 dpi.
#pragma once

#include "workbook.h"

#include <cmath>

namespace xlsxunits {

constexpr int TwipsPerPixel = 15;
constexpr double EmuPerPixel = 9525;
constexpr int DefaultColPixels = 64;

inline int twipsToPixels(int twips)
{
    return int(std::lround(twips / double(TwipsPerPixel)));
}

// The width in characters that gives `pixels` in the writer's and Excel's rounding.
inline double pixelsToChars(int pixels)
{
    return pixels <= 12 ? pixels / 12.0 : (pixels - 5) / 7.0;
}

// The pixels of a width as stored in a file ("13.7109375"), as Excel shows it.
inline int storedCharsToPixels(double chars)
{
    if (!(chars > 0))
        return 0;
    return int(std::trunc(((256 * chars + std::trunc(128.0 / 7)) / 256) * 7));
}

// The shown widths and heights of a sheet in pixels, and fractional cell positions (0-based:
// 1.5 is the middle of column 2) to pixels from the sheet's edge and back.
class SheetPixels
{
public:
    explicit SheetPixels(const Worksheet& sheet) : m_sheet(sheet) {}

    int colPixels(int col) const { return twipsToPixels(m_sheet.ShownColWidth(col)); }
    int rowPixels(int row) const { return twipsToPixels(m_sheet.ShownRowHeight(row)); }

    double xOf(double position) const { return along(position, Workbook::MaxCol, true); }
    double yOf(double position) const { return along(position, Workbook::MaxRow, false); }
    double colAt(double pixels) const { return back(pixels, Workbook::MaxCol, true); }
    double rowAt(double pixels) const { return back(pixels, Workbook::MaxRow, false); }

private:
    int size(int i, bool cols) const { return cols ? colPixels(i) : rowPixels(i); }

    double along(double position, int max, bool cols) const
    {
        position = std::clamp(position, 0.0, double(max));
        const int whole = int(position);
        double px = 0;
        for (int i = 1; i <= whole; ++i)
            px += size(i, cols);
        if (whole < max)
            px += (position - whole) * size(whole + 1, cols);
        return px;
    }

    double back(double pixels, int max, bool cols) const
    {
        double left = std::max(0.0, pixels);
        for (int i = 1; i <= max; ++i) {
            const int s = size(i, cols);
            if (s > left)
                return (i - 1) + left / s;
            left -= s;
        }
        return max;
    }

    const Worksheet& m_sheet;
};

} // namespace xlsxunits
