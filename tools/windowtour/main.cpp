// quorvane-windows FOLDER [POINTS]: pictures every window of the program into FOLDER, one PNG
// each (with its window manager's frame), in the program's language, at the default font or at
// POINTS, and lists what a user would find wrong in them. Runs on the X display of the
// environment; scripts/screenshots gives it one. Ends with 1 when a window could not be pictured.
#include "windowtour.h"

#include <app/appglobals.h>
#include <app/translatableforms.h>
#include <platform/codepage.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <platform/ui/application.h>
#include <platform/uitexts.h>
#include <translation/langproc.h>
#include <translation/langrus.h>
#include <translation/language.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include <cstdio>

namespace {

// The share of pixels that differ between two pictures of a window (1 when their sizes differ).
double difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return 1;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    qint64 differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int column = 0; column < x.width(); ++column)
            differing += (p[column] & 0xFFFFFF) != (q[column] & 0xFFFFFF);
    }
    return double(differing) / (qint64(x.width()) * x.height());
}

// Pictures the window with its window manager's frame into `file`, once the display shows what
// the window paints: while the window manager is still placing, growing or uncovering it, what
// the X server holds differs from the window's own rendering, and it is looked at again after
// the display's next events (a blinking text cursor is the most that may differ).
bool picture(QWidget* window, const QString& file, const QString& scratch)
{
    const QString id = QString::number(window->winId());
    for (int attempt = 0;; ++attempt) {
        window->repaint();
        QGuiApplication::sync();
        if (QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), id, scratch}) !=
            0)
            return false;
        if (difference(QImage(scratch), window->grab().toImage()) < 0.005)
            break;
        if (attempt == 50) {
            std::fprintf(stderr, "%s: the display did not settle; pictured as it is\n",
                         qPrintable(QFileInfo(file).fileName()));
            break;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    return QProcess::execute(QStringLiteral("import"),
                             {QStringLiteral("-frame"), QStringLiteral("-window"), id, file}) == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    useLanguageDates(ProgLanguage);
    Application app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: quorvane-windows FOLDER [POINTS]\n");
        return 2;
    }
    const QString folder = QDir(args.at(1)).absolutePath();
    QDir().mkpath(folder);
    const int points = args.size() == 3 ? args.at(2).toInt() : 0;
    QString suffix = QStringLiteral("-default");
    if (points > 0) {
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
        suffix = QStringLiteral("-%1pt").arg(points);
    }
    setRegionalLanguage(ProgLanguage);
    codepage::setCurrent(codepage::forLanguage(ProgLanguage));
    setUiTextLanguage(ProgLanguage);
    installQtTranslations(ProgLanguage);
    // The windows are translated as the program translates them: into the language of the build,
    // with the statement file of the program's folder when there is one.
    for (TFormClass formClass : ProgramFormClasses())
        RegisterTranslatableForm(std::move(formClass));
    TranslateFormProc = &TranslateFormComponents;
    TranslateComponentProc = &TranslateComponent;
    CurrentLanguage = ProgLanguage;
    ExtTranslateProc = ProgLanguage == 2 ? &TranslateCaptionRUS : nullptr;
    TranslationFileName = ProgramDir() + QStringLiteral("QUORVANE.LAN");
    LoadTranslations();
    QApplication::setApplicationName(ProgName);

    int pictures = 0;
    QStringList missed;
    QString error;
    const QTemporaryDir scratch;
    const bool ran = WindowTour::run(
        [&](QWidget* window, const QString& name) {
            // Looked at once the display shows it, as large as its layouts ask (a window that
            // grows waits for the window manager to give it the room).
            const QDeadlineTimer deadline(5000);
            while (!(window->windowHandle() && window->windowHandle()->isExposed() &&
                     window->width() >= window->minimumWidth() &&
                     window->height() >= window->minimumHeight()) &&
                   !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            for (const QString& fault : WindowTour::faults(window))
                std::printf("%s: %s\n", qPrintable(name), qPrintable(fault));
            const QString file = folder + QLatin1Char('/') + name + suffix + QStringLiteral(".png");
            if (picture(window, file, scratch.filePath(QStringLiteral("shown.png"))))
                ++pictures;
            else
                missed << name;
        },
        &error);
    if (!ran) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("%d pictures in %s\n", pictures, qPrintable(folder));
    // A window left without its picture is a failure of the tour, not a footnote.
    for (const QString& name : std::as_const(missed))
        std::fprintf(stderr, "%s was not pictured\n", qPrintable(name));
    return missed.isEmpty() && pictures > 0 ? 0 : 1;
}
