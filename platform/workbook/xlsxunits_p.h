// Sizes as .xlsx files keep them: column widths in characters of the default font (7 pixels a
// digit, 5 pixels of padding), row heights in points, drawing offsets in EMU; pixels at 96 dpi.
#pragma once

#include "workbook.h"

#include <algorithm>
#include <cmath>
#include <optional>

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
// 1.5 is the middle of column 2) to pixels from the sheet's edge and back. Only the columns and
// rows of a size of their own are walked one by one.
class SheetPixels
{
public:
    explicit SheetPixels(const Worksheet& sheet) : m_sheet(sheet) {}

    int colPixels(int col) const { return twipsToPixels(m_sheet.ShownColWidth(col)); }
    int rowPixels(int row) const { return twipsToPixels(m_sheet.ShownRowHeight(row)); }

    double xOf(double position) const { return along(position, true); }
    double yOf(double position) const { return along(position, false); }
    double colAt(double pixels) const { return back(pixels, true); }
    double rowAt(double pixels) const { return back(pixels, false); }

private:
    int size(int i, bool cols) const { return cols ? colPixels(i) : rowPixels(i); }
    const std::map<int, LineSize>& own(bool cols) const
    {
        return cols ? m_sheet.columns() : m_sheet.rows();
    }
    int standard(bool cols) const
    {
        return twipsToPixels(cols ? m_sheet.DefaultColWidth : m_sheet.DefaultRowHeight);
    }
    static int maxOf(bool cols) { return cols ? Workbook::MaxCol : Workbook::MaxRow; }

    // The pixels before line `first + 1`, lines 1 to `first`.
    double before(int first, bool cols) const
    {
        double px = double(first) * standard(cols);
        for (const auto& [i, line] : own(cols)) {
            if (i > first)
                break;
            px += size(i, cols) - standard(cols);
        }
        return px;
    }

    double along(double position, bool cols) const
    {
        const int max = maxOf(cols);
        position = std::clamp(position, 0.0, double(max));
        const int whole = int(position);
        double px = before(whole, cols);
        if (whole < max)
            px += (position - whole) * size(whole + 1, cols);
        return px;
    }

    double back(double pixels, bool cols) const
    {
        const int max = maxOf(cols);
        const int standardSize = standard(cols);
        double left = std::max(0.0, pixels);
        int next = 1; // the first line not walked yet
        const auto walkStandard = [&](int upTo) -> std::optional<double> {
            // Lines next .. upTo - 1 all have the standard size.
            if (upTo <= next)
                return std::nullopt;
            if (standardSize > 0) {
                const int fit = int(std::min<double>(upTo - next, std::floor(left / standardSize)));
                left -= double(fit) * standardSize;
                next += fit;
                if (next < upTo)
                    return (next - 1) + left / standardSize;
            }
            next = upTo;
            return std::nullopt;
        };
        for (const auto& [i, line] : own(cols)) {
            if (const auto found = walkStandard(i))
                return *found;
            const int s = size(i, cols);
            if (s > left)
                return (i - 1) + left / s;
            left -= s;
            next = i + 1;
        }
        if (const auto found = walkStandard(max + 1))
            return *found;
        return max;
    }

    const Worksheet& m_sheet;
};

} // namespace xlsxunits
