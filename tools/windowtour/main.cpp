// quorvane-windows FOLDER [POINTS]: pictures every window of the program into FOLDER, one PNG
// each (with its window manager's frame), in the program's language, at the default font or at
// POINTS, and lists what a user would find wrong in them. Runs on the X display of the
// environment; scripts/screenshots gives it one.
#include "windowtour.h"

#include <platform/codepage.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <platform/ui/application.h>
#include <platform/uitexts.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QWidget>
#include <QWindow>

#include <cstdio>

int main(int argc, char* argv[])
{
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
    QApplication::setApplicationName(ProgName);

    int pictures = 0;
    QString error;
    const bool ran = WindowTour::run(
        [&](QWidget* window, const QString& name) {
            // Pictured once the display shows it.
            const QDeadlineTimer deadline(5000);
            while (!(window->windowHandle() && window->windowHandle()->isExposed()) &&
                   !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            window->repaint();
            QCoreApplication::processEvents();
            for (const QString& fault : WindowTour::faults(window))
                std::printf("%s: %s\n", qPrintable(name), qPrintable(fault));
            const QString file = folder + QLatin1Char('/') + name + suffix + QStringLiteral(".png");
            if (QProcess::execute(QStringLiteral("import"),
                                  {QStringLiteral("-frame"), QStringLiteral("-window"),
                                   QString::number(window->winId()), file}) == 0)
                ++pictures;
            else
                std::fprintf(stderr, "%s was not pictured\n", qPrintable(name));
        },
        &error);
    if (!ran) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("%d pictures in %s\n", pictures, qPrintable(folder));
    return 0;
}
