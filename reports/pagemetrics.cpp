// The default printer's page.
#include "pagemetrics.h"

#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>

#include <cmath>

namespace {

std::optional<TPageMetrics> g_forTesting;

} // namespace

TPageMetrics PrinterPageMetrics()
{
    if (g_forTesting)
        return *g_forTesting;
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return TPageMetrics{};
    QPrinter printer(info, QPrinter::HighResolution);
    const QPageLayout layout = printer.pageLayout();
    const QRectF paper = layout.fullRect(QPageLayout::Point);
    if (paper.isEmpty())
        return TPageMetrics{};
    return TPageMetrics{int(std::lround(paper.width())), int(std::lround(paper.height())),
                        layout.orientation() == QPageLayout::Landscape};
}

void SetPrinterPageMetricsForTesting(std::optional<TPageMetrics> metrics)
{
    g_forTesting = metrics;
}

int PrinterPageWidth(bool Landscape)
{
    const TPageMetrics page = PrinterPageMetrics();
    return (Landscape == page.Landscape ? page.Width : page.Height) - 10;
}
