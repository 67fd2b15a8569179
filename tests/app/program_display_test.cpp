// The program on a real X display with a window manager: a start-up that fails (its working
// folder names a plain file) shows "Impossible d'initialiser QUORVANE" above the splash; its OK
// button, clicked with the pointer, leads to the error window, whose button ends the program.
#include "program_folder.h"

#include <platform/support/globals.h>
#include <platform/uitexts.h>

#include <support/xdisplay.h>

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

    // The program says where the default button of each question is, in its window.
    const QRegularExpression button(u"QUORVANE default button at (\\d+) (\\d+)"_s);
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
        const QString window = display.run(
            u"xdotool"_s, {u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, title});
        ASSERT_FALSE(window.isEmpty()) << "no window " << title.toStdString();
        display.run(u"xdotool"_s,
                    {u"mousemove"_s, u"--sync"_s, u"--window"_s, window.section(u'\n', 0, 0),
                     at.captured(1), at.captured(2), u"click"_s, u"1"_s});
    };
    // The box's title is in the program's language.
    clickDefault(1, u"^"_s + uiText(UiText::Error, ProgLanguage) + u"$"_s);
    clickDefault(2, u"^QUORVANE - Erreur$"_s);

    ASSERT_TRUE(folder.process.waitForFinished(20000)) << folder.output().toStdString();
    EXPECT_EQ(folder.process.exitCode(), 1);
    EXPECT_EQ(folder.output().count("question open"), 2) << folder.output().toStdString();
}
