// A child process for the application-server tests: a workstation that sends update batches into
// a shared folder, one statement each, so that two of them can share the folder at once.
//
//   appserver_child SHARE PROGRAM_FOLDER SEED COUNT TAG
//
// Batch i holds "insert into SENT values(:TAG,:I)" with TAG and i. Request numbers are drawn from
// a generator seeded with SEED. Exit status: 0 when every batch was taken, 2 on bad arguments or
// an error.
#include <kernel/appserver.h>
#include <kernel/dbaccess.h>
#include <platform/db/sqlquery.h>

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool seedOk = false;
    bool countOk = false;
    const quint32 seed = args.value(3).toUInt(&seedOk);
    const int count = args.value(4).toInt(&countOk);
    if (args.size() != 6 || !seedOk || !countOk) {
        std::fprintf(stderr, "usage: appserver_child SHARE PROGRAM_FOLDER SEED COUNT TAG\n");
        return 2;
    }
    try {
        SetKernelProgramDirForTesting(args.at(2));
        TDBAccess access;
        access.SetAppServerPath(args.at(1));
        access.SetRemoteTimeout(60);
        TAppServerExchange& exchange = access.AppServer();
        exchange.SeedRandom(seed);
        for (int i = 0; i < count; ++i) {
            SqlQuery statement;
            statement.setSql(QStringLiteral("insert into SENT values(:TAG,:I)"));
            statement.paramByName(QStringLiteral("TAG")).setAsString(args.at(5));
            statement.paramByName(QStringLiteral("I")).setAsInteger(i);
            exchange.OpenUpdateBatch();
            exchange.AddBatchStatement(statement);
            exchange.SendUpdateBatch();
            exchange.DiscardUpdateBatch();
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
