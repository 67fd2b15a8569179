// Windows as a person sees them: where the program's windows open, measured by the frames a real
// window manager (openbox on Xvfb) draws around them, and the dates its file choosers show,
// whatever locales the system holds. The windows are opened by a child process that starts as
// the program does and says what it has done on stdout.
#include <platform/support/globals.h>
#include <platform/uitexts.h>

#include <support/qt_printers.h>
#include <support/workspace.h>
#include <support/xdisplay.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>

using namespace Qt::StringLiterals;

namespace {

// The child process, with its signs.
class WindowsChild
{
public:
    WindowsChild(const QStringList& args, const QStringList& environment)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& entry : environment) {
            if (entry.contains(u'='))
                env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
            else
                env.remove(entry);
        }
        m_process.setProcessEnvironment(env);
        // What goes wrong in the child shows in the test's output.
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(QUORVANE_BINARY_DIR "/tests/windows_child"), args);
        EXPECT_TRUE(m_process.waitForStarted(10000)) << m_process.errorString().toStdString();
    }
    ~WindowsChild()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // The window named in the sign "WHAT ID", once the child gave it; empty when it has not
    // within 20 s or has ended.
    QString waitFor(const QString& what)
    {
        const QRegularExpression sign(u"^"_s + QRegularExpression::escape(what) + u" (\\d+)$"_s,
                                      QRegularExpression::MultilineOption);
        const QDeadlineTimer deadline(20000);
        for (;;) {
            m_output += QString::fromUtf8(m_process.readAllStandardOutput());
            if (const auto match = sign.match(m_output); match.hasMatch())
                return match.captured(1);
            if (deadline.hasExpired() || m_process.state() != QProcess::Running)
                return {};
            m_process.waitForReadyRead(int(deadline.remainingTime()));
        }
    }
    // What it wrote on stdout so far.
    QString output() const { return m_output; }
    // Everything it wrote on stdout once it has ended.
    QString finish()
    {
        m_process.waitForFinished(20000);
        return m_output + QString::fromUtf8(m_process.readAllStandardOutput());
    }

private:
    QProcess m_process;
    QString m_output;
};

QString displayMissing()
{
    return XDisplay::missing({u"Xvfb"_s, u"openbox"_s, u"xdotool"_s, u"xprop"_s, u"xwininfo"_s});
}

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

// A dialog of the program's opens centred over the window it belongs to, and a message box over
// that dialog: the frames' centres meet, as a person sees them, not their insides.
TEST(WindowsOnDisplay, DialogsOpenCentredOverTheirOwnerByTheirFrames)
{
    if (const QString tool = displayMissing(); !tool.isEmpty())
        GTEST_SKIP() << tool.toStdString() << " is not installed (scripts/setup)";
    XDisplay display(u"1024x768"_s);
    ASSERT_TRUE(display.error.isEmpty()) << display.error.toStdString();
    WindowsChild child({u"dialog"_s}, {u"QT_QPA_PLATFORM=xcb"_s, u"DISPLAY="_s + display.name});
    const QString owner = child.waitFor(u"shown owner"_s);
    const QString dialog = child.waitFor(u"placed dialog"_s);
    const QString box = child.waitFor(u"placed box"_s);
    ASSERT_FALSE(owner.isEmpty() || dialog.isEmpty() || box.isEmpty())
        << child.finish().toStdString();

    const QRect ownerFrame = display.frame(owner);
    const QRect dialogFrame = display.frame(dialog);
    const QRect boxFrame = display.frame(box);
    EXPECT_TRUE(near(doubledCentre(dialogFrame), doubledCentre(ownerFrame)))
        << dialogFrame << " over " << ownerFrame;
    EXPECT_TRUE(near(doubledCentre(boxFrame), doubledCentre(dialogFrame)))
        << boxFrame << " over " << dialogFrame;
}

// The picture viewer opens maximised over the main window; restored, it takes its own size within
// the screen, centred, not the corner the window manager would choose.
TEST(WindowsOnDisplay, PictureViewerRestoresCentredWithinTheScreen)
{
    if (const QString tool = displayMissing(); !tool.isEmpty())
        GTEST_SKIP() << tool.toStdString() << " is not installed (scripts/setup)";
    XDisplay display(u"1024x768"_s);
    ASSERT_TRUE(display.error.isEmpty()) << display.error.toStdString();
    WindowsChild child({u"viewer"_s}, {u"QT_QPA_PLATFORM=xcb"_s, u"DISPLAY="_s + display.name});
    const QString viewer = child.waitFor(u"maximised viewer"_s);
    ASSERT_FALSE(viewer.isEmpty()) << child.finish().toStdString();

    EXPECT_EQ(child.waitFor(u"placed viewer"_s), viewer);
    const QRect restored = display.frame(viewer);
    EXPECT_TRUE(QRect(0, 0, 1024, 768).contains(restored)) << restored;
    EXPECT_LT(restored.width(), 1024);
    EXPECT_TRUE(near(doubledCentre(restored), QPoint(1024, 768))) << restored << "\n"
                                                                  << child.output().toStdString();
}

// The file choosers show their files' dates in the program's language without the system's
// French or Russian locale, while the process keeps the user's locale (or, with none, UTF-8
// characters) and the programs it starts inherit no time variable naming a missing locale.
struct ChooserCase
{
    int language;
    const char* lang; // LANG, or nullptr when unset
    const char* ctype;
    const char* time;
    const char* date;      // the file's time: 5 March 2024, 14:07
    bool compiled = false; // LANG names a locale made for the test

    friend void PrintTo(const ChooserCase& c, std::ostream* os)
    {
        *os << "language " << c.language << ", LANG " << (c.lang ? c.lang : "unset");
    }
};

class ChooserDates : public ::testing::TestWithParam<ChooserCase>
{
};

TEST_P(ChooserDates, FollowTheLanguageWhileTheProcessKeepsTheUsersLocale)
{
    const ChooserCase& c = GetParam();
    TestWorkspace ws;
    writeFileBytes(ws.path(u"files/result.txt"_s), "1");
    setModified(ws.path(u"files/result.txt"_s), QDateTime(QDate(2024, 3, 5), QTime(14, 7)));
    QStringList environment{u"QT_QPA_PLATFORM=offscreen"_s, u"LC_ALL"_s, u"LC_CTYPE"_s,
                            u"LC_TIME"_s, u"LC_NUMERIC"_s};
    environment << (c.lang ? u"LANG="_s + QString::fromLatin1(c.lang) : u"LANG"_s);
    if (c.compiled) {
        // A user's locale this system does not hold, made from the C library's own sources in a
        // folder of the test's: it writes numbers with a decimal comma.
        const QString locales = ws.path(u"locales"_s);
        QDir().mkpath(locales);
        const int made =
            QProcess::execute(u"localedef"_s, {u"-c"_s, u"-i"_s, u"de_DE"_s, u"-f"_s, u"UTF-8"_s,
                                               locales + u"/"_s + QString::fromLatin1(c.lang)});
        if (made != 0)
            GTEST_SKIP() << "localedef cannot make de_DE.UTF-8 here (the package locales holds "
                            "its sources)";
        environment << u"LOCPATH="_s + locales;
    }
    WindowsChild child({u"dates"_s, QString::number(c.language), ws.path(u"files"_s)}, environment);
    const QStringList expected{u"ctype "_s + QString::fromLatin1(c.ctype),
                               u"time "_s + QString::fromLatin1(c.time),
                               u"numeric C"_s,
                               u"number 2.5"_s,
                               u"LC_TIME (unset)"_s,
                               u"file result.txt | "_s + QString::fromUtf8(c.date),
                               QString()};
    EXPECT_EQ(child.finish().toStdString(), expected.join(u'\n').toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Languages, ChooserDates,
    ::testing::Values(ChooserCase{1, "C.UTF-8", "C.UTF-8", "C.UTF-8", "05/03/2024 14:07"},
                      ChooserCase{2, "C.UTF-8", "C.UTF-8", "C.UTF-8", "05.03.2024 14:07"},
                      ChooserCase{1, nullptr, "C.UTF-8", "C", "05/03/2024 14:07"},
                      ChooserCase{1, "de_DE.UTF-8", "de_DE.UTF-8", "de_DE.UTF-8",
                                  "05/03/2024 14:07", true}),
    [](const auto& info) {
        return std::string(info.param.language == 2 ? "Russian" : "French") +
               (info.param.compiled ? "UnderAGermanLocale"
                : info.param.lang   ? "UnderCUtf8"
                                    : "UnderNoLocale");
    });
