// A child process for the direct-send tests: exports one document of a prepared working folder,
// so that a test can end it at a fixed step (QUORVANE_TEST_CRASH_AT) and look at what is left.
//
//   directsend_child WORKPATH EXPORTDIR LOGFILE NUMBER
//
// Exit status: 0 when the document left FILES.DB, 1 when it is still waiting, 2 on bad arguments
// or an error, 70 when ended at the fault point.
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/documents/tablehelpers.h>
#include <app/patients/directsend.h>
#include <platform/db/localtable.h>
#include <platform/support/globals.h>

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok = false;
    const int number = args.size() == 5 ? args.at(4).toInt(&ok) : 0;
    if (!ok) {
        std::fprintf(stderr, "usage: directsend_child WORKPATH EXPORTDIR LOGFILE NUMBER\n");
        return 2;
    }
    WorkPath = args.at(1);
    BufDir = WorkPath + QStringLiteral("buf/");
    DataDir = WorkPath + QStringLiteral("data");
    ExportDir = args.at(2);
    LogFileName = args.at(3);
    DirectSend = true;
    try {
        auto* tables = CreateForm<TDataTables>();
        tables->BindTables(DataDir, true);
        for (LocalTable* table : tables->StartupTables(true))
            TableAction(*table, 0);
        const bool gone = ExportDocument(number);
        tables->Free();
        return gone ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
