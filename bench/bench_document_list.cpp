// Registering a document and showing it in the main window, as a serial source does with each
// transmission (the registry's hand-over, then RefreshDocuments and a return to the event loop,
// which lays out and paints the window): with 20,000 documents listed, against the same with none
// listed, in turns within one run. The documents list follows the documents that changed; what the
// number already listed still costs is the list's own layout over its rows when one is added.
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/docregistry.h>
#include <app/documents/upgrade.h>
#include <app/mainwindow/mainform.h>
#include <app/mainwindow/mainmodules.h>
#include <platform/codepage.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlname.h>
#include <platform/support/globals.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include "ratio.h"

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

constexpr int Listed = 20000;
constexpr int PerTurn = 50; // documents registered and shown in one turn

using Clock = std::chrono::steady_clock;

void writeFile(const QString& name, const QByteArray& bytes)
{
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::abort();
}

struct Fixture
{
    QTemporaryDir dir;
    TMainForm* form = nullptr;
    QString inbox;

    Fixture()
    {
        const QString program = dir.path() + QStringLiteral("/prog/");
        const QString work = dir.path() + QStringLiteral("/work/");
        inbox = dir.path() + QStringLiteral("/in/");
        for (const QString& folder : {program, work, inbox})
            QDir().mkpath(folder);
        SetProgramDirForTesting(program);
        TMainForm::SetScreenCaptureServerNameForTesting(
            QStringLiteral("quorvane-bench-%1").arg(QCoreApplication::applicationPid()));
        writeFile(program + QStringLiteral("QUORVANE.INI"),
                  codepage::toAnsi(QStringLiteral("[Application]\r\nPath=%1\r\nUser=Banc\r\n"
                                                  "DelInterval=-1\r\n")
                                       .arg(work)));
        // No practice database: the patients are the local ones.
        MainFormModules().ConnectDatabase = [] { return false; };
        DataDir = work + QStringLiteral("data");
        if (!PrepareLocalTables())
            std::abort();
        DataTables = CreateForm<TDataTables>();
        form = CreateForm<TMainForm>();
        if (form->StartupFailed())
            std::abort();
        form->CommonTimer->stop();
        LocalTable& cfg = *DataTables->cfg;
        cfg.appendRecord({1, 4, 1, QStringLiteral("Analyseur de gaz du sang"),
                          QStringLiteral("TXT"), false, false, 0, Variant::null()});
        form->show();
        QCoreApplication::processEvents();
    }

    // The documents table holds `count` documents (and the documents' folder nothing), listed.
    void list(int count)
    {
        DbConnection& connection = ConnectionOf(*DataTables->files);
        const QString files = quoteSqlName(DataTables->files->tableName());
        connection.execute(QStringLiteral("DELETE FROM %1").arg(files));
        if (count > 0)
            connection.execute(
                QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                               "WHERE i < %2) INSERT INTO %1 (Number, Pack, Cfg, Date, Time, "
                               "Type, Pages, NeedId, Patient) SELECT i, 0, 1, '2026-12-06', "
                               "'22:10:46', 0, 1, 0, 0 FROM n")
                    .arg(files)
                    .arg(count));
        QDir buf(BufDir);
        for (const QString& name : buf.entryList(QDir::Files | QDir::Hidden))
            buf.remove(name);
        for (int i = 0; i < PerTurn; ++i)
            writeFile(inbox + QStringLiteral("capture%1.txt").arg(i), "7.41 pCO2 39 pO2 95\r\n");
        form->FillDocumentList();
        QCoreApplication::processEvents();
    }

    // Seconds to register and show PerTurn documents with `count` listed; -1 when one was lost.
    double turn(int count)
    {
        list(count);
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < PerTurn; ++i) {
            const int number = RegisterDocument(inbox + QStringLiteral("capture%1.txt").arg(i), 1,
                                                0, QStringLiteral("TXT"), HandOver::Move);
            if (number != count + i + 1)
                return -1;
            form->RefreshDocuments(number);
            QCoreApplication::processEvents();
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const bool shown = form->ListView1->topLevelItemCount() == count + PerTurn &&
                           form->DocNumbers.first() == count + PerTurn;
        return shown ? seconds : -1;
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_RegisterAndShowWithDocumentsListed(benchmark::State& state)
{
    Fixture& f = fixture();
    inTurns(
        state, [&f] { return f.turn(Listed); }, [&f] { return f.turn(0); }, PerTurn);
}

BENCHMARK(BM_RegisterAndShowWithDocumentsListed)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6)
    ->Repetitions(5)
    ->UseManualTime();

} // namespace

BenchProgram benchProgram()
{
    BenchProgram program;
    program.application = [](int& argc, char** argv) -> std::unique_ptr<QCoreApplication> {
        // The main window needs no display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QApplication>(argc, argv);
    };
    program.ratios = [](const RatioReporter& r) {
        r.printMeasuredRatio("BM_RegisterAndShowWithDocumentsListed",
                             "the same with no document listed, in turns", "at most 1.5");
    };
    return program;
}
