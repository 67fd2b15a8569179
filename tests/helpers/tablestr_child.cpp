// A child process for the structure engine tests: rebuilds table PATIENT of the local-kind
// database in a folder (its NAME column made 60 characters long), so that a test can end it at a
// fixed step (QUORVANE_TEST_CRASH_AT) and look at what is left.
//
//   tablestr_child FOLDER
//
// Exit status: 0 when rebuilt, 2 on bad arguments or an error, 70 when ended at the fault point.
#include <platform/db/database.h>
#include <schema/tablestrengine.h>

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().size() != 2) {
        std::fprintf(stderr, "usage: tablestr_child FOLDER\n");
        return 2;
    }
    try {
        Database db;
        db.setDriverName(QStringLiteral("STANDARD"));
        db.params().setValue(DbParam::Path, app.arguments().at(1));
        TDBVersion version;
        version.SetDataBase(&db);
        TTableStruct patient;
        patient.SetDBVersion(&version);
        patient.SetTableName(QStringLiteral("PATIENT"));
        patient.SetUpgradeAction(uaAlter);
        TFieldItem* name = patient.Fields().Add();
        name->FieldName = QStringLiteral("NAME");
        name->DataType = dtString;
        name->Size = 60;
        name->UpgradeAction = uaAlter;
        TTableStrEngine engine;
        engine.BatchMode = true;
        engine.LoadStructure(patient);
        engine.SaveStructure();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
