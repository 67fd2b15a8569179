// Program entry of the workstation.
#include <app/apperror.h>
#include <platform/application.h>
#include <platform/codepage.h>
#include <platform/db/odbcdriver.h>
#include <platform/inifile.h>
#include <platform/regional.h>
#include <platform/serial/serialline.h>
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
    odbcdb::registerDrivers(); // MSSQL and ORACLE practice databases
    // Serial ports find their device in the program's INI file.
    setSerialIniReader([](const QString& section, const QString& key) {
        return IniFileName.isEmpty() ? QString() : IniFile(IniFileName).readString(section, key, QString());
    });
    QApplication::setApplicationName(ProgName);

    QLabel window(ProgName + QStringLiteral(" ") + ProgVersion + QStringLiteral(" - ") + ProgSubtitle);
    window.setWindowTitle(ProgName);
    window.resize(623, 414);
    window.show();
    return app.exec();
}
