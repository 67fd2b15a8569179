// The kernel's own database upgrade: the fixed steps that bring a kernel database from version 1
// to 6 on each server kind, and version 7, the replication tables, described by the data module
// TKrnUpgrade and applied as a module version.
#pragma once

#include <platform/ui/forms.h>

class Database;
class SqlQuery;
class TDBAccess;
class TDBVersion;
class TLC;
class TTableStruct;

// Version 7 of the kernel module "DBKernel": the nine replication tables, applied in this order.
class TKrnUpgrade : public TDataModule
{
    Q_OBJECT

public:
    explicit TKrnUpgrade(QObject* parent = nullptr);
    ~TKrnUpgrade() override;

    TDBVersion* KrnVer7;
    TTableStruct* RM_QUERIES;
    TTableStruct* RM_QUERY_PARAMS;
    TTableStruct* RM_DATABASES;
    TTableStruct* RM_KEYS;
    TTableStruct* RM_SCHEMES;
    TTableStruct* RM_TABLES;
    TTableStruct* RM_FIELDS;
    TTableStruct* RM_LINKS;
    TTableStruct* RM_SEARCH_KEYS;
    SqlQuery* Q;
    TLC* LC1;

    // After the tables, inside the version's transaction: the local database's row in
    // RM_DATABASES.
    void KrnVer7AfterExecute(bool& Continue);

private:
    TTableStruct* table(const char* name);
};

// Step 7: version 7 applied to the database. True; the version's error passes through.
bool UpgradeKernel(Database* database);

// Runs the kernel's steps from `databaseVersion` + 1 up to `codeVersion`, each committed on its
// own, and gives the access component the code version when all of them ran. False at once while
// the access component's automatic upgrade switch is off, and at the first version without a
// step (0, 1, above 7): a database at version 0 is never upgraded. A step that fails is rolled
// back and its error passes through; the steps before it stay, so the next run resumes there. On
// the local kind each step runs in one SQLite transaction, so a failure leaves the file as it
// was.
bool UpgradeKernelSteps(TDBAccess& access, int databaseVersion, int codeVersion);
