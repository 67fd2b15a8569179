// The program on a real X display with a window manager: a start-up that fails (its working
// folder names a plain file) shows "Impossible d'initialiser QUORVANE" above the splash; its OK
// button, clicked with the pointer, leads to the error window, whose button ends the program.
// Its titles read by older clients keep their accents, and its windows open centred as a person
// sees them, whatever locales the system holds. The tour of the windows fails when it cannot
// picture one; and a window made anew before its picture is found again and pictured.
#include "program_folder.h"

#include <platform/support/globals.h>
#include <platform/uitexts.h>

#include <support/qt_printers.h>
#include <support/xdisplay.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace Qt::StringLiterals;

TEST(ProgramOnDisplay, FailedStartupBoxIsClickedAndTheProgramEnds)
{
    XDisplay display;
    ASSERT_TRUE(display.error.isEmpty()) << display.error.toStdString();
    ProgramFolder folder;
    writeFileBytes(folder.work() + u"plain"_s, "a file, not a folder");
    folder.writeIni(
        {u"[Application]"_s, u"Path="_s + folder.work() + u"plain"_s, u"User=Tester"_s});
    folder.start({u"QT_QPA_PLATFORM=xcb"_s, u"DISPLAY="_s + display.name});

    // The program says where the default button of each question is, in its window, once the
    // window is on the display, and which window that is: the test clicks there without looking
    // for the window.
    const QRegularExpression button(u"QUORVANE default button at (\\d+) (\\d+) in window (\\d+)"_s);
    const auto clickDefault = [&](int question, const QString& title) {
        const auto places = [&] {
            QList<QRegularExpressionMatch> found;
            for (auto m = button.globalMatch(QString::fromLocal8Bit(folder.output())); m.hasNext();)
                found << m.next();
            return found;
        };
        ASSERT_TRUE(folder.waitFor([&] { return places().size() >= question; }))
            << folder.output().toStdString();
        const QRegularExpressionMatch at = places().at(question - 1);
        const QString window = at.captured(3);
        EXPECT_EQ(display.run(u"xdotool"_s, {u"getwindowname"_s, window}), title)
            << "window " << window.toStdString();
        display.run(u"xdotool"_s, {u"mousemove"_s, u"--sync"_s, u"--window"_s, window,
                                   at.captured(1), at.captured(2), u"click"_s, u"1"_s});
    };
    // The box's title is in the program's language.
    clickDefault(1, uiText(UiText::Error, ProgLanguage));
    clickDefault(2, u"QUORVANE - Erreur"_s);

    ASSERT_TRUE(folder.process.waitForFinished(20000)) << folder.output().toStdString();
    EXPECT_EQ(folder.process.exitCode(), 1);
    EXPECT_EQ(folder.output().count("question open"), 2) << folder.output().toStdString();
}

namespace {

// Twice a frame's centre, so that halves count.
QPoint doubledCentre(const QRect& frame)
{
    return {2 * frame.left() + frame.width(), 2 * frame.top() + frame.height()};
}

// Within two pixels of each other, in doubled coordinates.
bool near(QPoint doubledA, QPoint doubledB)
{
    return std::abs(doubledA.x() - doubledB.x()) <= 4 && std::abs(doubledA.y() - doubledB.y()) <= 4;
}

} // namespace

// On a system without the French or Russian locale (as this project's machines), under the
// user's locale (LANG=C.UTF-8) and under none (LANG unset, the "C" locale): window lists and tools
// that read the older title property find the main window by its accented title and show it
// whole; the main window opens centred on the screen, and the question of the first tick (no
// user yet) centred over it, both measured by the frames the window manager drew.
class ProgramOnDisplayLocale : public ::testing::TestWithParam<const char*>
{
};

TEST_P(ProgramOnDisplayLocale, TitlesKeepTheirAccentsAndWindowsOpenCentred)
{
    if (const QString tool =
            XDisplay::missing({u"Xvfb"_s, u"openbox"_s, u"xdotool"_s, u"xprop"_s, u"xwininfo"_s});
        !tool.isEmpty())
        GTEST_SKIP() << tool.toStdString() << " is not installed (scripts/setup)";
    XDisplay display(u"1024x768"_s);
    ASSERT_TRUE(display.error.isEmpty()) << display.error.toStdString();
    ProgramFolder folder;
    folder.writeIni({u"[Application]"_s, u"Path="_s + folder.work(), u"DelInterval=-1"_s});
    folder.start({u"QT_QPA_PLATFORM=xcb"_s, u"DISPLAY="_s + display.name, u"LC_ALL"_s,
                  u"LC_CTYPE"_s, u"LC_TIME"_s, u"LC_MESSAGES"_s, QString::fromLatin1(GetParam())});

    const auto placed = [&](const QString& what) {
        const QRegularExpression sign(u"QUORVANE "_s + what + u" placed: window (\\d+)"_s);
        QString window;
        folder.waitFor([&] {
            window = sign.match(QString::fromLocal8Bit(folder.output())).captured(1);
            return !window.isEmpty();
        });
        return window;
    };
    const QString main = placed(u"main window"_s);
    const QString question = placed(u"question"_s);
    ASSERT_FALSE(main.isEmpty()) << folder.output().toStdString();
    ASSERT_FALSE(question.isEmpty()) << folder.output().toStdString();

    const QString title = ProgLanguage == 2
                              ? u"QUORVANE 2.07 - Система обмена медицинской информацией"_s
                              : u"QUORVANE 2.07 - Logiciel de transferts des données médicales"_s;
    const QString accented = ProgLanguage == 2 ? u"медицинской"_s : u"données médicales"_s;
    EXPECT_TRUE(display.run(u"xdotool"_s, {u"search"_s, u"--name"_s, accented})
                    .split(u'\n')
                    .contains(main));
    EXPECT_TRUE(
        display.run(u"xprop"_s, {u"-id"_s, main, u"WM_NAME"_s}).endsWith(u" = \""_s + title + u'"'))
        << display.run(u"xprop"_s, {u"-id"_s, main, u"WM_NAME"_s}).toStdString();

    const QRect mainFrame = display.frame(main);
    const QRect questionFrame = display.frame(question);
    ASSERT_TRUE(mainFrame.isValid() && questionFrame.isValid());
    EXPECT_TRUE(near(doubledCentre(mainFrame), QPoint(1024, 768))) << mainFrame;
    EXPECT_TRUE(near(doubledCentre(questionFrame), doubledCentre(mainFrame)))
        << questionFrame << " over " << mainFrame;
}

INSTANTIATE_TEST_SUITE_P(Lang, ProgramOnDisplayLocale, ::testing::Values("LANG=C.UTF-8", "LANG"),
                         [](const auto& info) {
                             return std::string(std::strchr(info.param, '=') ? "CUtf8" : "Unset");
                         });

// The tour of the windows pictures each with the display's tools; where it cannot (here no
// picturing tool can be found), it says which windows it missed and fails.
TEST(WindowPictures, AWindowNotPicturedFailsTheTour)
{
    const QString tour = QStringLiteral(QUORVANE_BINARY_DIR "/tools/windowtour/quorvane-windows");
    if (!QFileInfo::exists(tour))
        GTEST_SKIP() << "quorvane-windows is not built in this folder";
    TestWorkspace ws;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"PATH"_s, ws.path(u"empty"_s));
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    process.setProcessEnvironment(env);
    process.start(tour, {ws.path(u"pictures"_s)});
    ASSERT_TRUE(process.waitForFinished(100000));
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1) << errors.toStdString();
    EXPECT_TRUE(errors.contains(u"TMainForm-documents was not pictured"_s)) << errors.toStdString();
}

// The pictures of scripts/screenshots are taken of the window found by its title; when the
// program made it anew under the same title before the picture was taken, the new one is found
// and pictured.
TEST(WindowPictures, AWindowMadeAnewIsFoundAgainAndPictured)
{
    XDisplay display;
    ASSERT_TRUE(display.error.isEmpty()) << display.error.toStdString();
    TestWorkspace ws;
    const QString title = u"^Compte rendu a photographier$"_s;
    const auto show = [&display](QProcess& viewer) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, display.name);
        viewer.setProcessEnvironment(env);
        viewer.start(u"display"_s, {u"-title"_s, u"Compte rendu a photographier"_s, u"logo:"_s});
    };
    const auto shown = [&] {
        return display.run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, title})
            .split(u'\n', Qt::SkipEmptyParts);
    };
    // Signs on the display, looked at until they come (15 s at most).
    const auto until = [](const std::function<bool()>& sign) {
        const QDeadlineTimer deadline(15000);
        while (!sign() && !deadline.hasExpired())
            QThread::msleep(50);
        return sign();
    };
    QProcess first;
    QProcess second;
    const auto end = [&first, &second] {
        for (QProcess* viewer : {&first, &second}) {
            viewer->kill();
            viewer->waitForFinished(5000);
        }
    };
    show(first);
    ASSERT_TRUE(until([&] { return shown().size() == 1; })) << "package imagemagick";
    const QString found = shown().constFirst();
    show(second);
    ASSERT_TRUE(until([&] { return shown().size() == 2; }));
    first.kill();
    first.waitForFinished(5000);
    ASSERT_TRUE(until([&] { return shown() != QStringList{found} && shown().size() == 1; }));
    const QString made = shown().constFirst();

    QProcess picture;
    picture.setProcessEnvironment([&display] {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, display.name);
        return env;
    }());
    const QString file = ws.path(u"picture.png"_s);
    picture.start(QStringLiteral(QUORVANE_TEST_DATA "/../../scripts/picture-window"),
                  {title, file, found});
    ASSERT_TRUE(picture.waitForFinished(60000));
    end();
    EXPECT_EQ(picture.exitCode(), 0) << picture.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromLocal8Bit(picture.readAllStandardOutput()).trimmed(), made);
    // The viewer's picture (640 x 480) in its frame.
    const QImage taken(file);
    EXPECT_GT(taken.width(), 640);
    EXPECT_GT(taken.height(), 480);
}
