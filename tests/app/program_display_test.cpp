// The program on a real X display with a window manager: a start-up that fails (its working
// folder names a plain file) shows "Impossible d'initialiser QUORVANE" above the splash; its OK
// button, clicked with the pointer, leads to the error window, whose button ends the program.
// And the tour of the windows fails when it cannot picture one.
#include "program_folder.h"

#include <platform/support/globals.h>
#include <platform/uitexts.h>

#include <support/xdisplay.h>

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

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
