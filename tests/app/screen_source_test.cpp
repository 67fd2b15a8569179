// The screen-capture source: offscreen, the main window's tick takes the clipboard's picture or
// not; its trigger socket lives in the user's private runtime folder and is left to another
// running copy, never to another user; and the real program under Xvfb takes the picture xclip
// owns, its bitmap file read back here byte by byte.
#include "mainwindow_fixture.h"
#include "program_folder.h"

#include <app/sources/screen_source.h>
#include <platform/fileops.h>
#include <platform/process.h>
#include <platform/support/globals.h>
#include <support/ptypair.h>
#include <support/xdisplay.h>

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct ScreenWindow : MainWindowFixture
{
    explicit ScreenWindow(const QList<QPair<int, int>>& sources) // number and state
    {
        MainFormModules().CaptureClipboardBitmap = &CaptureClipboardBitmap;
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
    // Number, source and file name of each document; a capture has no file name.
    QString documents() const
    {
        return cli(u"SELECT group_concat(Number || ':' || Cfg || ':' || ifnull(File_name, '')) "
                   "FROM \"FILES.DB\";"_s);
    }
};

TEST(ScreenCapture, TakesOnlyAPictureOfTheWholeScreenForTheFirstActiveSource)
{
    const struct
    {
        QSize more; // added to the screen's size
        QList<QPair<int, int>> sources;
        QString document;
    } cases[] = {{{0, 0}, {{5, 1}}, u"1:5:"_s},
                 {{0, -1}, {{5, 1}}, {}},
                 {{224, 0}, {{5, 1}}, u"1:5:"_s},
                 {{0, 0}, {{5, 2}}, {}},
                 {{0, 0}, {{8, 1}, {5, 1}}, u"1:8:"_s}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document.toStdString() + " " + std::to_string(c.more.width()));
        ScreenWindow w(c.sources);
        ScreenWindow::offer(ScreenWindow::screen() + c.more);
        w.tick();
        EXPECT_EQ(w.documents(), c.document);
        EXPECT_EQ(ScreenWindow::offered(), c.document.isEmpty()) << "emptied once taken";
    }
}

TEST(ScreenCapture, WriteFailingForFiveTicksIsLoggedOnceAndLosesNothing)
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
    EXPECT_EQ(w.documents(), u"1:5:"_s);
}

// Requests of other programs on the local socket, sent as such a program sends them: a
// connection that sends bytes is closed unanswered and the picture is taken at once, between two
// ticks; one that sends nothing asks for nothing; several writes on one connection are one request.
TEST(ScreenCapture, RequestsOnTheLocalSocketTakeThePictureAtOnce)
{
    ScreenWindow w({{5, 1}});
    w.form->CommonTimer->stop(); // no tick may take the picture in the test's place
    int requests = 0;
    MainFormModules().CaptureClipboardBitmap = [&requests](const QString& buf) {
        ++requests;
        return CaptureClipboardBitmap(buf);
    };
    // Sends each write, then waits until the program closes the connection.
    const auto request = [](const QList<QByteArray>& writes) {
        QLocalSocket socket;
        socket.connectToServer(TMainForm::ScreenCaptureServerName());
        if (!socket.waitForConnected(5000))
            return false;
        for (const QByteArray& bytes : writes) {
            socket.write(bytes);
            socket.flush();
        }
        return pumpEventsUntil(
            [&socket] {
                socket.waitForDisconnected(0);
                return socket.state() == QLocalSocket::UnconnectedState;
            },
            10000);
    };

    QLocalSocket silent;
    silent.connectToServer(TMainForm::ScreenCaptureServerName());
    ASSERT_TRUE(silent.waitForConnected(5000));
    ScreenWindow::offer(ScreenWindow::screen());
    ASSERT_TRUE(request({"x"}));
    EXPECT_EQ(requests, 1) << "the silent connection asked for nothing";
    EXPECT_EQ(w.documents(), u"1:5:"_s);
    EXPECT_FALSE(ScreenWindow::offered());

    ScreenWindow::offer(ScreenWindow::screen());
    ASSERT_TRUE(request({"capture\n", "capture\n", "capture\n"}));
    EXPECT_EQ(requests, 2);
    EXPECT_EQ(w.documents(), u"1:5:,2:5:"_s);
    // Nothing on the clipboard: a request takes nothing; by then the writes after the first on
    // the second connection would have been counted too.
    ASSERT_TRUE(request({"x"}));
    EXPECT_EQ(requests, 3);
    EXPECT_EQ(w.documents(), u"1:5:,2:5:"_s);
    EXPECT_EQ(silent.state(), QLocalSocket::ConnectedState);
}

TEST(ScreenCapture, TriggerSocketOfAnotherRunningCopyIsLeftToIt)
{
    MainWindowFixture w;
    QLocalServer other;
    other.setSocketOptions(QLocalServer::UserAccessOption);
    ASSERT_TRUE(other.listen(TMainForm::ScreenCaptureServerName()));
    w.writeUsualIni();
    w.prepareTables();
    w.start();
    EXPECT_FALSE(w.form->findChild<QLocalServer*>()->isListening());
    EXPECT_TRUE(w.ws.operationsLog().contains("another copy of the program answers"));
    EXPECT_TRUE(other.hasPendingConnections() || other.waitForNewConnection(5000));
}

// A socket of the name that belongs to another user is no other copy of the program, however it
// answers: the program takes the name over where the folder lets it.
TEST(ScreenCapture, TriggerSocketOfAnotherUserIsTakenOver)
{
    MainWindowFixture w;
    QLocalServer other;
    ASSERT_TRUE(other.listen(TMainForm::ScreenCaptureServerName()));
    if (::lchown(QFile::encodeName(other.fullServerName()).constData(), 65534, 65534) != 0)
        GTEST_SKIP() << "the socket cannot be given to another user here: " << std::strerror(errno);
    w.writeUsualIni();
    w.prepareTables();
    w.start();
    EXPECT_TRUE(w.form->findChild<QLocalServer*>()->isListening());
    EXPECT_FALSE(w.ws.operationsLog().contains("another copy")) << w.ws.operationsLog().data();
    QFileInfo socket(other.fullServerName());
    EXPECT_EQ(socket.ownerId(), ::geteuid());
}

// The program's socket lives in the user's private runtime folder; a runtime folder others may
// enter is not used, and the socket goes to the temporary folder as it did.
TEST(ScreenCapture, TheTriggerSocketIsInThePrivateRuntimeFolder)
{
    for (const bool privateFolder : {true, false}) {
        SCOPED_TRACE(privateFolder ? "private" : "open to others");
        ProgramFolder folder;
        const QString run = folder.ws.path(u"run"_s);
        const QString tmp = folder.ws.path(u"tmp"_s);
        ASSERT_TRUE(QDir().mkpath(run) && QDir().mkpath(tmp));
        ASSERT_EQ(::chmod(QFile::encodeName(run).constData(), privateFolder ? 0700 : 0755), 0);
        folder.writeUsualIni();
        // A source, so that the window does not open on its sources panel, where it polls not.
        folder.prepareTables(u"INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, "
                             "NeedId, NeedComment, Warning) VALUES (4, 5, 1, 'Ecran', 'BMP', 0, "
                             "0, 0);"_s);
        folder.start({u"XDG_RUNTIME_DIR="_s + run, u"TMPDIR="_s + tmp});
        ASSERT_TRUE(folder.waitForTicks(2)) << folder.output().constData();
        const QString name = u"quorvane-"_s + loginName();
        const QString expected = (privateFolder ? run : tmp) + u"/"_s + name;
        EXPECT_FALSE(QFileInfo::exists((privateFolder ? tmp : run) + u"/"_s + name));
        QLocalSocket request;
        request.connectToServer(expected);
        EXPECT_TRUE(request.waitForConnected(5000)) << request.errorString().toStdString();
        folder.process.kill();
        folder.process.waitForFinished(10000);
    }
}

TEST(ScreenCapture, ProgramUnderXvfbTakesThePictureXclipOwnsAndXclipEnds)
{
    XDisplay x(u"640x480"_s);
    ASSERT_TRUE(x.error.isEmpty()) << x.error.toStdString();
    const QString display = x.name;
    ProgramFolder folder;
    folder.writeUsualIni();
    folder.prepareTables("INSERT INTO \"cfg.db\" (Number, Type, State, Titul, Extension, NeedId, "
                         "NeedComment, Warning) VALUES (4, 5, 1, 'Ecran', 'BMP', 0, 0, 0);");
    folder.start({u"QT_QPA_PLATFORM=xcb"_s, u"DISPLAY="_s + display});
    ASSERT_TRUE(folder.waitForTicks(2)) << folder.output().constData();

    // Blue, with a red pixel top left and a green one bottom right.
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 255));
    picture.setPixelColor(0, 0, QColor(255, 0, 0));
    picture.setPixelColor(639, 479, QColor(0, 255, 0));
    picture.save(folder.ws.path(u"screen.png"_s));
    QProcess xclip;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, display);
    xclip.setProcessEnvironment(env);
    xclip.start(u"xclip"_s, {u"-quiet"_s, u"-selection"_s, u"clipboard"_s, u"-t"_s, u"image/png"_s,
                             u"-i"_s, folder.ws.path(u"screen.png"_s)});
    const QString bitmapFile = folder.work() + u"buf/1.5"_s;
    EXPECT_TRUE(folder.waitFor([&] { return QFileInfo::exists(bitmapFile); }));
    EXPECT_TRUE(xclip.waitForFinished(20000)) << "xclip ends once the clipboard is emptied";

    // Read as a bitmap reader would: rows from the bottom, three bytes blue-green-red.
    const QByteArray bmp = readFileBytes(bitmapFile);
    EXPECT_TRUE(bmp.startsWith("BM"));
    EXPECT_EQ(bmp.mid(18, 12), QByteArray("\x80\x02\0\0\xe0\x01\0\0\x01\0\x18\0", 12))
        << "640 by 480, one plane, 24 bits a pixel";
    ASSERT_GT(bmp.size(), 54);
    const int pixels = qFromLittleEndian<qint32>(bmp.constData() + 10), row = 640 * 3;
    ASSERT_EQ(bmp.size(), pixels + 480 * row) << "not compressed";
    EXPECT_EQ(bmp.mid(pixels, 6), QByteArray("\xff\0\0\xff\0\0", 6)) << "bottom left: blue";
    EXPECT_EQ(bmp.mid(pixels + 639 * 3, 3), QByteArray("\0\xff\0", 3)) << "bottom right";
    EXPECT_EQ(bmp.mid(pixels + 479 * row, 3), QByteArray("\0\0\xff", 3)) << "top left: red";
}

} // namespace
