// The program's clock, the operations log, the line log, the INI shortcuts, the OK/Cancel error
// boxes, the small text helpers and the platform's texts in the program's languages.
#include <platform/clock.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/inifile.h>
#include <platform/process.h>
#include <platform/registry.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>
#include <platform/support/procs.h>
#include <platform/support/textprocs.h>
#include <platform/uitexts.h>

#include <support/scoped_dialogs.h>
#include <support/workspace.h>

#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TEST(OperationsLog, LinesCarryDateTimeAndAnsiTextOfTheLanguage)
{
    {
        TestWorkspace ws;
        WriteToLog("File tressoly.ver not foud.");
        WriteToLog("Opération réussie");
        EXPECT_EQ(ws.operationsLog(),
                  QByteArray("06/12/2026 22:10:46 - File tressoly.ver not foud.\r\n"
                             "06/12/2026 22:10:46 - Op\xE9ration r\xE9ussie\r\n"));
        AppendLogLine(ws.path("qvxfiles.log"), "first", true);
        AppendLogLine(ws.path("qvxfiles.log"), "second", false);
        EXPECT_EQ(readFileBytes(ws.path("qvxfiles.log")),
                  QByteArray("06/12/2026 22:10:46\tfirst\r\nsecond\r\n"));
    }
    TestWorkspace ws(2);
    WriteToLog("Ошибка");
    EXPECT_EQ(ws.operationsLog(), QByteArray("06.12.2026 22:10:46 - \xCE\xF8\xE8\xE1\xEA\xE0\r\n"));

    // A log it cannot write loses the line and never raises; the first line lost is reported,
    // and the log, once it can be written again, first tells how many it lost.
    QStringList told;
    SetLogFailureHandler([&told](const QString& reason) { told << reason; });
    const auto noHandler = qScopeGuard([] { SetLogFailureHandler({}); });
    WorkPath = ws.path("missing/folder/");
    EXPECT_NO_THROW(WriteToLog("lost"));
    EXPECT_NO_THROW(WriteToLog("lost again"));
    EXPECT_EQ(told.size(), 1);
    QDir().mkpath(WorkPath);
    WriteToLog("back");
    EXPECT_EQ(readFileBytes(WorkPath + "QUORVANE.LOG"),
              "06.12.2026 22:10:46 - 2 lines of this log could not be written\r\n"
              "06.12.2026 22:10:46 - back\r\n");
    WorkPath.clear(); // not configured: nothing is written anywhere
    EXPECT_NO_THROW(WriteToLog("lost too"));
    EXPECT_TRUE(OperationsLogFileName().isEmpty());
}

// A disk that fills up takes a short line now and then between the lines it loses: each count
// written covers every line lost since the line before it, and the count and the line after it
// land together. A name holding a line end stays on its line.
TEST(OperationsLog, CountsEveryLostLineAndKeepsEachTextOnOneLine)
{
    TestWorkspace ws;
    int told = 0;
    SetLogFailureHandler([&told](const QString&) { ++told; });
    const auto noHandler = qScopeGuard([] {
        SetLogFailureHandler({});
        fileops::resetFaults();
    });
    for (int call : {1, 3, 4})
        fileops::failNth(fileops::Op::Append, call, ENOSPC);
    for (const char* text : {"a", "b", "c", "d", "e"})
        WriteToLog(text);
    EXPECT_EQ(told, 2); // two runs of lost lines
    WriteToLog(QStringLiteral("Fichier \"rapport\n06/12/2026 22:10:46 - faux\r\t\x1b.pdf\" pris"));
    EXPECT_EQ(ws.operationsLog(),
              QByteArray("06/12/2026 22:10:46 - 1 lines of this log could not be written\r\n"
                         "06/12/2026 22:10:46 - b\r\n"
                         "06/12/2026 22:10:46 - 2 lines of this log could not be written\r\n"
                         "06/12/2026 22:10:46 - e\r\n"
                         "06/12/2026 22:10:46 - Fichier \"rapport\\x0A06/12/2026 22:10:46 - "
                         "faux\\x0D\\x09\\x1B.pdf\" pris\r\n"));
}

TEST(IniShortcuts, ReadAndWriteOneInteger)
{
    TestWorkspace ws;
    const QString file = ws.path("QUORVANE.INI");
    EXPECT_EQ(ReadIniInteger(file, "Application", "DelInterval", -1), -1);
    WriteIniInteger(file, "Application", "DelInterval", 30);
    EXPECT_EQ(ReadIniInteger(file, "application", "delinterval", -1), 30);
    EXPECT_EQ(readFileBytes(file), QByteArray("[Application]\r\nDelInterval=30\r\n"));
}

TEST(ErrorBoxes, OkCancelAnswersAndFormatting)
{
    ScopedScriptedDialogs dialogs;
    dialogs.answerMessage(mrOk, "Continuer ?", mtError, TMsgDlgButtons(mbOK) | mbCancel)
        .answerMessage(mrCancel, "Port COM3 occupé", mtError, TMsgDlgButtons(mbOK) | mbCancel);
    EXPECT_TRUE(ErrorOkCancel("Continuer ?"));
    EXPECT_FALSE(ErrorOkCancelFmt("Port COM%d %s", {3, "occupé"}));
}

TEST(Clock, FixedTimeMovesOnlyWhenAdvanced)
{
    const QDateTime newYearsEve(QDate(2023, 12, 31), QTime(23, 59, 59, 500));
    clock::setFixed(newYearsEve);
    EXPECT_EQ(clock::now(), newYearsEve);
    clock::advance(600);
    EXPECT_EQ(clock::now(), QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0, 100)));

    // A time given in UTC reads back as the same moment in local time.
    const QDateTime utc(QDate(2024, 6, 1), QTime(12, 0), QTimeZone::utc());
    clock::setFixed(utc);
    EXPECT_EQ(clock::now().toMSecsSinceEpoch(), utc.toMSecsSinceEpoch());
    EXPECT_EQ(clock::now().timeSpec(), Qt::LocalTime);

    // Reset and then advanced: the system's time plus an offset, running on.
    clock::reset();
    constexpr qint64 hour = 3600 * 1000;
    clock::advance(hour);
    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime now = clock::now();
    const QDateTime after = QDateTime::currentDateTime();
    clock::reset();
    EXPECT_LE(before.addMSecs(hour), now);
    EXPECT_LE(now, after.addMSecs(hour));
}

TEST(TextProcs, StrToFloatAnyReadsVersionTexts)
{
    // clang-format off
    const std::pair<const char*, int> cases[] = {
        {"2.07", 207}, {"3", 300}, {"-1.5", -150},
        {"0.005", 1}, // 0.5 rounds away from zero
        // Readings that stop early give 0: a second point, another character, nothing at all;
        // out of range is no version either.
        {"2.0.7", 0}, {"2.07b", 0}, {"2,07", 0}, {"", 0}, {".", 0}, {"1e99", 0}};
    // clang-format on
    for (const auto& [text, value] : cases)
        EXPECT_EQ(StrToFloatAny(text), value) << text;
    EXPECT_EQ(StrToIntDef0(" -7 "), -7);
    EXPECT_EQ(StrToIntDef0("4.2"), 0);
}

TEST(TextProcs, FieldsAreCutAtTheDelimiterAndTrimmed)
{
    const std::pair<int, const char*> fields[] = {{0, ""}, {1, "a"}, {2, "b b"},
                                                  {3, ""}, {4, "c"}, {5, ""}};
    for (const auto& [index, field] : fields)
        EXPECT_EQ(GetField("a ; b b ;;c", index, ';'), field) << index;
    EXPECT_EQ(GetField("\tx\t|y", 1, '|'), "x");
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
}

// Every platform text keeps its arguments in each language, and a failure speaks the program's
// language, the reason the file layer gives included.
TEST(UiTexts, EveryLanguageKeepsTheArgumentsAndFailuresSpeakIt)
{
    const auto arguments = [](const QString& text) {
        QStringList found;
        for (const auto& m : QRegularExpression("%\\d").globalMatch(text))
            found << m.captured();
        found.sort();
        return found;
    };
    for (int id = 0; id <= int(UiText::CredentialNotInCodePage); ++id) {
        for (const int language : {1, 2, 3})
            EXPECT_EQ(arguments(uiText(UiText(id), language)), arguments(uiText(UiText(id), 0)))
                << uiText(UiText(id), language).toStdString();
    }
    TestWorkspace ws;
    writeFileBytes(ws.path("plain"), "a file, not a folder");
    const auto language = qScopeGuard([] { setUiTextLanguage(0); });
    setUiTextLanguage(2);
    try {
        CheckDirectory(ws.path("plain/buf/"), true);
        ADD_FAILURE() << "a folder inside a file";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.message(), "Невозможно создать папку \"" + ws.path("plain/buf/") +
                                   "\": часть пути не является папкой");
    }
    // The user's registry creates the folders of its file the same way.
    const auto registry = qScopeGuard([] { userregistry::setFileName(QString()); });
    userregistry::setFileName(ws.path("plain/Quorvane/registry.ini"));
    try {
        userregistry::writeString("Software\\Quorvane", "Mode", "1");
        ADD_FAILURE() << "a registry inside a file";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.message(), "Невозможно создать папку \"" + ws.path("plain/Quorvane") +
                                   "\": часть пути не является папкой");
    }
}

// One holder per folder. A lock somebody else takes on the folder itself (any account that can
// read it can) keeps nobody out; the lock goes with its holder.
TEST(FolderLocks, OneHolderPerFolderWhateverLocksTheFolderItself)
{
    TestWorkspace ws;
    const QString folder = ws.path(QStringLiteral("prog"));
    QDir().mkpath(folder);
    const int other = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    {
        const FolderLock first(folder);
        EXPECT_EQ(first.state(), FolderLock::State::Held) << first.error().toStdString();
        const FolderLock second(folder);
        EXPECT_EQ(second.state(), FolderLock::State::HeldElsewhere);
    }
    EXPECT_EQ(FolderLock(folder).state(), FolderLock::State::Held);
    ::close(other);
}
