// A child process for the identifier tests: takes identifiers of a table of the local-kind
// database in a folder, one at a time, and prints each on a line of its own, so that two of them
// can run against the same file at once.
//
//   getid_child FOLDER TABLE FIELD COUNT
//
// Exit status: 0 when every identifier was taken, 2 on bad arguments or an error.
#include <kernel/dbaccess.h>
#include <platform/db/database.h>

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok = false;
    const int count = args.value(4).toInt(&ok);
    if (args.size() != 5 || !ok) {
        std::fprintf(stderr, "usage: getid_child FOLDER TABLE FIELD COUNT\n");
        return 2;
    }
    try {
        Database db;
        db.setDriverName(QStringLiteral("STANDARD"));
        db.params().setValue(DbParam::Path, args.at(1));
        TDBAccess access;
        access.SetDataBase(&db);
        access.UpdateServerKind();
        for (int i = 0; i < count; ++i) {
            std::printf("%d\n", access.GetID(args.at(2), args.at(3), 1));
            std::fflush(stdout);
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
