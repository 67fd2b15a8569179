// Program entry of the workstation.
#include <app/apperror.h>
#include <platform/application.h>
#include <platform/codepage.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <translation/language.h>

#include <QLabel>
#include <cstdio>

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        std::fprintf(stderr, "QUORVANE runs offscreen: its windows are not visible.\n");

    CurrentLanguage = ProgLanguage;
    setRegionalLanguage(ProgLanguage);
    codepage::setCurrent(codepage::forLanguage(ProgLanguage));
    Application::setExceptionHandler(AppException);
    QApplication::setApplicationName(ProgName);

    QLabel window(ProgName + QStringLiteral(" ") + ProgVersion + QStringLiteral(" - ") + ProgSubtitle);
    window.setWindowTitle(ProgName);
    window.resize(623, 414);
    window.show();
    return app.exec();
}
