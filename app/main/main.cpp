// Program entry of the workstation.
#include <QApplication>
#include <QLabel>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        std::fprintf(stderr, "QUORVANE runs offscreen: its windows are not visible.\n");
    QLabel window(QStringLiteral("QUORVANE"));
    window.setWindowTitle(QStringLiteral("QUORVANE"));
    window.resize(623, 414);
    window.show();
    return app.exec();
}
