// The screen-capture source: offscreen, a main window whose polling tick takes the clipboard's
// picture (whole screen, one row short, wider, a passive source, two sources, a write that fails
// for five ticks); its trigger socket left to another running copy; and the real program under
// Xvfb taking the picture xclip owns, whose bitmap file is read back here byte by byte.
#include "mainwindow_fixture.h"
#include "program_folder.h"

#include <app/appglobals.h>
#include <app/sources/screen_source.h>
#include <platform/fileops.h>
#include <platform/support/globals.h>

#include <QClipboard>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLocalServer>
#include <QProcess>
#include <QScreen>
#include <QThread>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct ScreenWindow : MainWindowFixture
{
    explicit ScreenWindow(const QList<QPair<int, int>>& sources)
    {
        MainFormModules().CaptureClipboardBitmap = &CaptureClipboardBitmap;
        MainFormModules().InitClipboardSource = &InitClipboardSource;
        startRunning();
        for (const auto& source : sources)
            addSource(source.first, 5, source.second);
        InitClipboardSource();
    }
    ~ScreenWindow() { fileops::resetFaults(); }

    static QSize screen() { return QGuiApplication::primaryScreen()->size(); }
    static void offer(QSize size)
    {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QGuiApplication::clipboard()->setImage(picture);
    }
    static bool offered() { return !QGuiApplication::clipboard()->image().isNull(); }
    QString documents() const
    {
        return cli(u"SELECT group_concat(Number || ':' || Cfg) FROM \"FILES.DB\";"_s);
    }
};

quint32 u32(const QByteArray& bytes, int at)
{
    return at + 4 <= bytes.size() ? qFromLittleEndian<quint32>(bytes.constData() + at) : 0;
}

struct CaptureCase
{
    const char* name;
    QSize more;                     // added to the screen's size
    QList<QPair<int, int>> sources; // number and state, in the order they are added
    const char* document;           // "number:source", or empty when nothing is taken
};

class ScreenCapture : public ::testing::TestWithParam<CaptureCase>
{
};

TEST_P(ScreenCapture, TakesOnlyAPictureOfTheWholeScreenForTheFirstActiveSource)
{
    const CaptureCase& c = GetParam();
    ScreenWindow w(c.sources);
    ScreenWindow::offer(ScreenWindow::screen() + c.more);
    w.tick();
    EXPECT_EQ(w.documents(), QLatin1String(c.document));
    const bool taken = *c.document != '\0';
    EXPECT_EQ(ScreenWindow::offered(), !taken) << "the clipboard is emptied once it is taken";
    if (taken) {
        const QByteArray bitmap = readFileBytes(BufDir + u"1.5"_s);
        EXPECT_TRUE(bitmap.startsWith("BM"));
        EXPECT_EQ(u32(bitmap, 18), quint32(ScreenWindow::screen().width() + c.more.width()));
        EXPECT_EQ(bitmap.at(28), 24) << "24 bits a pixel";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, ScreenCapture,
    ::testing::Values(CaptureCase{"WholeScreen", {0, 0}, {{5, 1}}, "1:5"},
                      CaptureCase{"OneRowShort", {0, -1}, {{5, 1}}, ""},
                      CaptureCase{"Wider", {224, 0}, {{5, 1}}, "1:5"},
                      CaptureCase{"PassiveSource", {0, 0}, {{5, 2}}, ""},
                      CaptureCase{"FirstOfTwoSources", {0, 0}, {{8, 1}, {5, 1}}, "1:8"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScreenCaptureFailure, WriteFailingForFiveTicksIsLoggedOnceAndLosesNothing)
{
    ScreenWindow w({{5, 1}});
    ScreenWindow::offer(ScreenWindow::screen());
    for (int n = 1; n <= 5; ++n)
        fileops::failNth(fileops::Op::Write, n, ENOSPC);
    w.tick(5);
    EXPECT_EQ(w.documents(), QString());
    EXPECT_TRUE(ScreenWindow::offered());
    EXPECT_EQ(QString::fromUtf8(w.ws.operationsLog()).count(u"Screen capture not taken"_s), 1);
    EXPECT_EQ(QDir(BufDir).entryList(QDir::Files | QDir::Hidden), QStringList());
    w.tick();
    EXPECT_EQ(w.documents(), u"1:5"_s);
    EXPECT_FALSE(ScreenWindow::offered());
}

TEST(ScreenCaptureTrigger, SocketOfAnotherRunningCopyIsLeftToIt)
{
    MainWindowFixture w;
    QLocalServer other;
    other.setSocketOptions(QLocalServer::UserAccessOption);
    ASSERT_TRUE(other.listen(TMainForm::ScreenCaptureServerName()));
    w.writeUsualIni();
    w.prepareTables();
    w.start();
    const QLocalServer* own = w.form->findChild<QLocalServer*>();
    ASSERT_NE(own, nullptr);
    EXPECT_FALSE(own->isListening());
    EXPECT_TRUE(w.ws.operationsLog().contains("another copy of the program answers"));
    // The window's own question reached the other copy: requests still go there.
    EXPECT_TRUE(other.hasPendingConnections() || other.waitForNewConnection(5000));
}

// A display of the test's own, gone at the end.
class PrivateXvfb
{
public:
    PrivateXvfb()
    {
        for (m_display = 40 + int(QCoreApplication::applicationPid() % 200);
             QFileInfo::exists(u"/tmp/.X%1-lock"_s.arg(m_display)); ++m_display) {
        }
        m_server.start(u"Xvfb"_s, {u":%1"_s.arg(m_display), u"-screen"_s, u"0"_s, u"640x480x24"_s,
                                   u"-nolisten"_s, u"tcp"_s});
        // Ready once its socket is there.
        const QDeadlineTimer deadline(20000);
        while (m_server.waitForStarted(10000) && m_server.state() == QProcess::Running &&
               !deadline.hasExpired() && !ready())
            QThread::msleep(20);
    }
    ~PrivateXvfb()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(10000))
            m_server.kill();
    }
    bool ready() const { return QFileInfo::exists(u"/tmp/.X11-unix/X%1"_s.arg(m_display)); }
    QString display() const { return u":%1"_s.arg(m_display); }

private:
    int m_display;
    QProcess m_server;
};

TEST(ScreenCaptureX11, ProgramTakesThePictureXclipOwnsAndXclipEndsWhenItIsTaken)
{
    PrivateXvfb x;
    ASSERT_TRUE(x.ready()) << "Xvfb (Debian package xvfb) did not start";
    ProgramFolder folder;
    folder.writeUsualIni();
    folder.prepareTables("INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, "
                         "NeedComment, Warning) VALUES (4, 5, 1, 'Ecran', 'BMP', 0, 0, 0);");
    folder.start({u"QT_QPA_PLATFORM=xcb"_s, u"DISPLAY="_s + x.display()});
    ASSERT_TRUE(folder.waitForTicks(2)) << folder.output().constData();

    // Blue, with a red pixel top left and a green one bottom right.
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 255));
    picture.setPixelColor(0, 0, QColor(255, 0, 0));
    picture.setPixelColor(639, 479, QColor(0, 255, 0));
    ASSERT_TRUE(picture.save(folder.ws.path(u"screen.png"_s)));
    QProcess xclip;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, x.display());
    xclip.setProcessEnvironment(env);
    xclip.start(u"xclip"_s, {u"-quiet"_s, u"-selection"_s, u"clipboard"_s, u"-t"_s, u"image/png"_s,
                             u"-i"_s, folder.ws.path(u"screen.png"_s)});
    ASSERT_TRUE(xclip.waitForStarted(10000)) << "xclip (Debian package xclip) is missing";

    const QString bitmapFile = folder.work() + u"buf/1.5"_s;
    EXPECT_TRUE(folder.waitFor([&] { return QFileInfo::exists(bitmapFile); }));
    EXPECT_TRUE(xclip.waitForFinished(20000)) << "the clipboard was emptied";
    folder.process.terminate();
    folder.process.waitForFinished(20000);

    // The file as a bitmap reader sees it: rows from the bottom, three bytes blue-green-red.
    const QByteArray bmp = readFileBytes(bitmapFile);
    ASSERT_GT(bmp.size(), 54);
    EXPECT_TRUE(bmp.startsWith("BM"));
    EXPECT_EQ(u32(bmp, 18), 640u);
    EXPECT_EQ(u32(bmp, 22), 480u);
    EXPECT_EQ(bmp.at(28), 24);
    EXPECT_EQ(u32(bmp, 30), 0u) << "not compressed";
    const int pixels = int(u32(bmp, 10));
    const int row = 640 * 3;
    ASSERT_EQ(bmp.size(), pixels + 480 * row);
    EXPECT_EQ(bmp.mid(pixels, 3), QByteArray("\xff\x00\x00", 3)) << "bottom left: blue";
    EXPECT_EQ(bmp.mid(pixels + 639 * 3, 3), QByteArray("\x00\xff\x00", 3)) << "bottom right";
    EXPECT_EQ(bmp.mid(pixels + 479 * row, 3), QByteArray("\x00\x00\xff", 3)) << "top left: red";
}

} // namespace
