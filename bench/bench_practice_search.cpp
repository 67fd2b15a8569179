// A keystroke of the identification dialog's name search on a practice database file of 20,000
// patients: the first packet of 500 names that begin with the text, loaded into the dialog's
// kernel cache through the workstation's own connection, against the same search stepped with
// SQLite's own C API over the same index, every column touched (goal: at most 2x).
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/patients/practicedb.h>
#include <app/patients/practicepatients.h>
#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <platform/data/collation.h>
#include <platform/support/globals.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "ratio.h"
#include <sqlite3.h>
#include <support/kernel_schema.h>

#include <cstdio>

namespace {

constexpr int Patients = 20000;
constexpr int Packet = 500;
// Names beginning with "MAR": three surnames of the forty, 1,500 patients.
const char* const Surnames[] = {
    "MARTIN",   "BERNARD", "THOMAS",   "PETIT",     "ROBERT",   "RICHARD", "DURAND",   "DUBOIS",
    "MOREAU",   "LAURENT", "SIMON",    "MICHEL",    "LEFEBVRE", "LEROY",   "ROUX",     "DAVID",
    "BERTRAND", "MOREL",   "FOURNIER", "GIRARD",    "BONNET",   "DUPONT",  "LAMBERT",  "FONTAINE",
    "ROUSSEAU", "VINCENT", "MULLER",   "LEFÈVRE",   "FAURE",    "ANDRÉ",   "MERCIER",  "BLANC",
    "GUÉRIN",   "BOYER",   "GARNIER",  "CHEVALIER", "FRANÇOIS", "LEGRAND", "MARCHAND", "MARIE"};
const QString Typed = QStringLiteral("MAR");

void exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", error ? error : "sqlite error");
        std::abort();
    }
}

// The program's case- and accent-insensitive order, for a connection of SQLite's own.
int foldCollate(void*, int n1, const void* s1, int n2, const void* s2)
{
    return collation::compareCaseInsensitive(
        QString::fromRawData(static_cast<const QChar*>(s1), n1 / 2),
        QString::fromRawData(static_cast<const QChar*>(s2), n2 / 2));
}

// The practice software's folder with its version file and a practice database file of 20,000
// patients, and the workstation connected to it as at start-up.
struct Fixture
{
    QTemporaryDir dir;
    QString error;

    Fixture()
    {
        const QString folder = dir.path() + QLatin1Char('/');
        QFile version(folder + QStringLiteral("TRESSOLY.VER"));
        if (!version.open(QIODevice::WriteOnly) ||
            version.write("[Application]\r\nVersion=2.07\r\n[DBKERNEL]\r\n") < 0) {
            error = QStringLiteral("the version file cannot be written");
            return;
        }
        version.close();
        sqlite3* raw = nullptr;
        sqlite3_open((folder + PracticeDatabaseFileName).toUtf8().constData(), &raw);
        exec(raw, kernelschema::createTables().toUtf8().constData());
        exec(raw, "insert into VERSION values ('DBKERNEL', 7), ('DATABASE', 207);"
                  "insert into METATABLE values"
                  " ('PATIENTS', 'PATIENTS_ID', 0, null, 0, null, 'T'),"
                  " ('MEDECINS', 'MEDECINS_ID', 0, null, 0, null, 'T');"
                  "insert into METAFIELD values"
                  " ('PATIENTS', 'PATIENTS_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),"
                  " ('PATIENTS', 'NOM', 1, 1, null, 3, 30, 0, null, null, null, 2),"
                  " ('PATIENTS', 'PRENOM', 0, 1, null, 3, 30, 0, null, null, null, 3),"
                  " ('PATIENTS', 'NE_LE', 0, 1, null, 5, 0, 0, null, null, null, 4),"
                  " ('PATIENTS', 'N_OMON', 0, 1, null, 1, 0, 0, null, null, null, 5),"
                  " ('MEDECINS', 'MEDECINS_ID', 1, 1, null, 1, 0, 0, null, null, null, 1);"
                  "create table ID_VALUES (KEY_NAME varchar(30), LAST_VALUE integer);"
                  "create table MEDECINS (MEDECINS_ID integer);"
                  "create table PATIENTS (PATIENTS_ID integer, NOM varchar(30),"
                  " PRENOM varchar(30), NE_LE date, N_OMON integer);"
                  "begin");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(raw, "insert into PATIENTS values (?, ?, ?, ?, ?)", -1, &insert,
                           nullptr);
        for (int i = 0; i < Patients; ++i) {
            const QByteArray name = QByteArray(Surnames[i % 40]);
            const QByteArray first = QStringLiteral("Prénom %1").arg(i * 7919 % Patients).toUtf8();
            const QByteArray day = QStringLiteral("19%1-%2-%3")
                                       .arg(30 + i % 70)
                                       .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                                       .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                                       .toUtf8();
            sqlite3_bind_int(insert, 1, i + 1);
            sqlite3_bind_text(insert, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 3, first.constData(), int(first.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 4, day.constData(), int(day.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 5, i);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        exec(raw, "commit");
        sqlite3_close(raw);

        TressolyPath = folder;
        IniFileName = folder + QStringLiteral("QUORVANE.INI");
        SetKernelProgramDirForTesting(folder);
        DataTables = CreateForm<TDataTables>();
        CreateServerModule();
        if (!ConnectDatabase()) {
            error = QStringLiteral("the practice database file does not connect");
            return;
        }
        // The first search makes the index on the names, which the baseline uses too.
        PracticePatientsInUse().IdPatients_Global().LoadRange(QStringLiteral("PATIENTS"),
                                                              QStringLiteral("NOM;PRENOM"), {Typed},
                                                              {Typed + QStringLiteral("zzzz")});
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

// The dialog's call for a typed text (TIdDlg::Edit1Change): the names from the text to the text
// followed by "zzzz", in name order, into the dialog's cache.
void BM_SearchKeystroke(benchmark::State& state)
{
    PatientCache& cache = PracticePatientsInUse().IdPatients_Global();
    for (auto _ : state) {
        cache.LoadRange(QStringLiteral("PATIENTS"), QStringLiteral("NOM;PRENOM"), {Typed},
                        {Typed + QStringLiteral("zzzz")});
        if (cache.dataSet().recordCount() != Packet) {
            state.SkipWithError("not a packet of 500 names");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * Packet);
}

// The same 500 rows in the same order through the index the search made, every column read.
void BM_StepSearchStatement(benchmark::State& state)
{
    sqlite3* db = nullptr;
    const QString file = fixture().dir.path() + QLatin1Char('/') + PracticeDatabaseFileName;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_create_collation(db, "FOLD", SQLITE_UTF16_ALIGNED, nullptr, foldCollate);
    const QByteArray low = Typed.toUtf8();
    const QByteArray high = (Typed + QStringLiteral("zzzz")).toUtf8();
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "select PATIENTS_ID, NOM, PRENOM, NE_LE, N_OMON from PATIENTS"
                           " where NOM collate FOLD >= ?1 and NOM collate FOLD <= ?2"
                           " order by NOM collate FOLD, PRENOM collate FOLD, rowid limit 500",
                           -1, &st, nullptr);
        sqlite3_bind_text(st, 1, low.constData(), int(low.size()), SQLITE_STATIC);
        sqlite3_bind_text(st, 2, high.constData(), int(high.size()), SQLITE_STATIC);
        qint64 sum = 0;
        int rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            ++rows;
            sum += sqlite3_column_int64(st, 0) + sqlite3_column_int64(st, 4);
            for (int c : {1, 2, 3})
                sum += sqlite3_column_bytes(st, c) + sqlite3_column_text(st, c)[0];
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(sum);
        if (rows != Packet) {
            state.SkipWithError("not 500 rows");
            break;
        }
    }
    sqlite3_close_v2(db);
    state.SetItemsProcessed(state.iterations() * Packet);
}

BENCHMARK(BM_StepSearchStatement)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BenchProgram benchProgram()
{
    BenchProgram program;
    // The data modules are Qt objects; the offscreen platform needs no display.
    program.application = makeApplication<QApplication>;
    program.check = [] { return fixture().error; };
    program.ratios = [](const RatioReporter& r) {
        r.printRatio("BM_SearchKeystroke", "BM_StepSearchStatement", "at most 2.0");
    };
    return program;
}
