// A module version applied with a data module of its own: its structures through the structure
// engine, its views, its VERSION row and cache alias, its transaction on each server kind, its
// progress channels, the owner check of MS SQL Server and the messages of a failure.
#include "schema_helpers.h"

#include <kernel/request.h>
#include <platform/ui/forms.h>
#include <schema/schematools.h>

#include <support/workspace.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace schematest;

namespace {

// Version 2 of the module "Clinic": PATIENT, VISIT linked to it, SKIPPED whose handler declines,
// a structure of no version, and the view of a request on PATIENT.
class TClinicModule : public TDataModule
{
public:
    TClinicModule()
    {
        Ver2 = makeComponent<TDBVersion>("Ver2", "TDBVersion");
        Ver2->SetVersion(2);
        Ver2->SetModuleName("Clinic");
        Patient = table("tsPatient", "Patient");
        addField(*Patient, "PATIENT_ID", dtInteger, 0, foRequired);
        addField(*Patient, "NAME", dtString, 40);
        addIndex(*Patient, "PRIMARY KEY", "PATIENT_ID", idxPrimary);
        Visit = table("tsVisit", "VISIT");
        addField(*Visit, "VISIT_ID", dtInteger, 0, foRequired);
        addField(*Visit, "PATIENT_ID", dtInteger);
        addIndex(*Visit, "PRIMARY KEY", "VISIT_ID", idxPrimary);
        addLink(*Visit, "PATIENT", "PATIENT_ID", "PATIENT_ID", daCascade);
        Skipped = table("tsSkipped", "SKIPPED");
        addField(*Skipped, "ID", dtInteger);
        Skipped->BeforeExecute = [](bool& Continue) { Continue = false; };
        Loose = table("tsLoose", "LOOSE");
        addField(*Loose, "ID", dtInteger);
        Loose->SetDBVersion(nullptr);
        Patients = makeComponent<TDBRequest>("rPatients", "TDBRequest");
        Patients->SetViewName("V_PATIENT");
        Patients->SetDBVersion(Ver2);
        TFromItem* from = Patients->From().Add();
        from->SetTableName("PATIENT");
        from->SetAlias("P");
        for (const char* field : {"PATIENT_ID", "NAME"}) {
            TSelectItem* s = Patients->Select().Add();
            s->SetOrigin("P");
            s->SetText(field);
        }
    }

    TTableStruct* table(const char* component, const QString& name)
    {
        auto* s = makeComponent<TTableStruct>(component, "TTableStruct");
        s->SetDBVersion(Ver2);
        s->SetTableName(name);
        return s;
    }

    TDBVersion* Ver2;
    TTableStruct* Patient;
    TTableStruct* Visit;
    TTableStruct* Skipped;
    TTableStruct* Loose;
    TDBRequest* Patients;
};

// The module on a schema database, with an access component for its view.
struct Clinic
{
    explicit Clinic(quint8 kind = 3) : d(kind)
    {
        module.Ver2->SetDataBase(&d.db);
        module.Patients->SetDBAccess(&a.access);
        RegisterSchemaTools();
    }
    QStringList tables() const
    {
        return d.rows("select name from sqlite_master where type in ('table', 'view') and name "
                      "in ('PATIENT', 'VISIT', 'SKIPPED', 'LOOSE', 'V_PATIENT') order by name");
    }
    // The transaction statements of MS SQL Server sent since `from`.
    QStringList transactionStatements(qsizetype from) const
    {
        static const QRegularExpression re("BEGIN TRAN|COMMIT|ROLLBACK|SET TRANSACTION");
        QStringList lines;
        for (const QString& s : d.recorder->statements.mid(from)) {
            if (re.match(s).hasMatch())
                lines << s;
        }
        return lines;
    }

    SchemaDb d;
    AccessOn a{d.db};
    TClinicModule module;
};

const QString HelpUser =
    "declare @uname sysname\r\nselect  @uname = user_name()\r\nexec sp_helpuser @uname";

} // namespace

TEST(ModuleVersion, LocalRunAppliesItsTablesRecordsItsVersionAndReportsProgress)
{
    Clinic c;
    TForm form;
    auto* status = new QLabel(&form);
    QStringList painted;
    form.OnPaint = [&painted, status](QObject*) {
        if (painted.isEmpty() || painted.last() != status->text())
            painted << status->text();
    };
    form.show();
    // Painted at once only once the window is on the screen.
    const QDeadlineTimer shown(10000);
    while (!form.testAttribute(Qt::WA_Mapped) && !shown.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    ASSERT_TRUE(form.testAttribute(Qt::WA_Mapped));
    QProgressBar bar;
    QStringList log;
    TDBVersion::SetProgress(&bar, status, &log);
    c.module.Ver2->Execute();

    EXPECT_EQ(c.tables(), QStringList({"PATIENT", "VISIT"})); // no view on the local kind
    EXPECT_EQ(log, QStringList({"Table PATIENT created.", "Table VISIT created."}));
    EXPECT_EQ(painted.mid(painted.indexOf("Creating table PATIENT...")),
              QStringList({"Creating table PATIENT...", "Creating table VISIT...",
                           "Creating table SKIPPED..."}));
    EXPECT_EQ(bar.maximum(), 3);
    EXPECT_EQ(bar.value(), 3);
    EXPECT_EQ(c.d.rows("select * from VERSION"), QStringList({"CLINIC|2"}));
    EXPECT_EQ(c.d.rows("select * from CACHESYS"), QStringList({"CLINIC#2|1|NULL"}));
    EXPECT_EQ(c.d.rows("select PARENT, CHILD, DEL_ACT from TABLELINK"),
              QStringList({"PATIENT|VISIT|C"}));
    EXPECT_EQ(c.d.recorder->transactions, QStringList({"BEGIN", "COMMIT"}));

    // The channels went off with the run; the next version finds the module's row and updates
    // it, however the module's name is spelled.
    c.module.Ver2->SetVersion(3);
    c.module.Ver2->Execute();
    EXPECT_EQ(log.size(), 2);
    EXPECT_EQ(bar.value(), 3);
    EXPECT_EQ(c.d.rows("select * from VERSION"), QStringList({"CLINIC|3"}));
    EXPECT_EQ(c.d.rows("select ALIAS, VERSION from CACHESYS order by ALIAS"),
              QStringList({"CLINIC#2|1", "CLINIC#3|1"}));
}

TEST(ModuleVersion, DeclinedByItsHandlerNothingIsTouchedAndVersionZeroWritesNoRow)
{
    Clinic c;
    QStringList log;
    TDBVersion::SetProgress(nullptr, nullptr, &log);
    c.module.Ver2->BeforeExecute = [](bool& Continue) { Continue = false; };
    const qsizetype from = c.d.recorder->statements.size();
    c.module.Ver2->Execute();
    EXPECT_TRUE(c.tables().isEmpty());
    EXPECT_TRUE(c.d.recorder->transactions.isEmpty());
    EXPECT_TRUE(c.d.ddl(from).isEmpty());

    c.module.Ver2->BeforeExecute = nullptr;
    c.module.Ver2->SetVersion(0);
    c.module.Ver2->Execute();
    EXPECT_EQ(c.tables(), QStringList({"PATIENT", "VISIT"}));
    EXPECT_TRUE(log.isEmpty()); // switched off by the declined run
    EXPECT_EQ(c.d.rows("select count(*) from VERSION union all select count(*) from CACHESYS"),
              QStringList({"0", "0"}));
}

TEST(ModuleVersion, AFailureNamesTheTableBeingAppliedOrNoneBeforeTheFirst)
{
    Clinic c;
    c.d.recorder->failOn = "create table VISIT";
    EXPECT_EQ(messageOf<EDBKernelError>([&] { c.module.Ver2->Execute(); }),
              "Table: VISIT. statement refused");
    EXPECT_TRUE(c.tables().isEmpty()); // PATIENT went with the rollback

    // Every structure declined: the version row's failure has no table to name.
    c.d.recorder->failOn = "insert into VERSION";
    for (TTableStruct* s : {c.module.Patient, c.module.Visit})
        s->BeforeExecute = [](bool& Continue) { Continue = false; };
    EXPECT_EQ(messageOf<EDBKernelError>([&] { c.module.Ver2->Execute(); }), "statement refused");
    EXPECT_EQ(c.d.rows("select count(*) from CACHESYS"), QStringList({"0"}));
}

class ModuleVersionOnKind : public testing::TestWithParam<int>
{
};

// MS SQL Server: the server's transaction opened and ended by statements, the connection's
// auto-commit never touched; Oracle: the connection's; the local kind: SQLite's. A failure rolls
// it back (on MS SQL Server the test's SQLite stand-in rolls back for the server).
TEST_P(ModuleVersionOnKind, BeginCommitAndRollbackSequences)
{
    const int kind = GetParam();
    for (const bool fail : {false, true}) {
        SCOPED_TRACE(fail ? "failing" : "going through");
        Clinic c{quint8(kind)};
        c.d.recorder->standIns["if @@Trancount <> 0 ROLLBACK"] = "ROLLBACK";
        if (fail)
            c.d.recorder->failOn = "create table VISIT";
        const qsizetype from = c.d.recorder->statements.size();
        const QString error = messageOf<EDBKernelError>([&] { c.module.Ver2->Execute(); });
        EXPECT_EQ(error, fail ? "Table: VISIT. statement refused" : "<no error>");
        const QStringList open = {"BEGIN TRANSACTION",
                                  "SET TRANSACTION ISOLATION LEVEL SERIALIZABLE", "COMMIT",
                                  "BEGIN TRANSACTION"};
        if (kind == 1) {
            EXPECT_EQ(c.transactionStatements(from),
                      open + QStringList({fail ? "if @@Trancount <> 0 ROLLBACK" : "COMMIT"}));
            EXPECT_TRUE(c.d.recorder->transactions.isEmpty());
        } else {
            EXPECT_EQ(c.d.recorder->transactions,
                      QStringList({"BEGIN", fail ? "ROLLBACK" : "COMMIT"}));
        }
        EXPECT_EQ(c.tables(), fail        ? QStringList()
                              : kind == 3 ? QStringList({"PATIENT", "VISIT"})
                                          : QStringList({"PATIENT", "VISIT", "V_PATIENT"}));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ModuleVersionOnKind, testing::Values(1, 2, 3));

// On the servers the version makes the views of its requests inside its transaction; a view
// that fails is reported with the table applied last, and nothing stays.
TEST(ModuleVersion, ViewsOnAServerAndAViewThatFails)
{
    Clinic c(1);
    QStringList log;
    TDBVersion::SetProgress(nullptr, nullptr, &log);
    c.module.Ver2->Execute();
    EXPECT_EQ(log, QStringList({"Table PATIENT created.", "Table VISIT created.",
                                "View V_PATIENT created."}));
    const QStringList sent = c.d.firstLines();
    EXPECT_LT(sent.indexOf("create VIEW V_PATIENT as "), sent.lastIndexOf("COMMIT"));
    EXPECT_EQ(c.d.rows("select TABLE_NAME, OBJECT_KIND, BASE_TABLE from METATABLE where "
                       "OBJECT_KIND = 'V'"),
              QStringList({"V_PATIENT|V|PATIENT"}));

    Clinic f(1);
    f.d.recorder->standIns["if @@Trancount <> 0 ROLLBACK"] = "ROLLBACK";
    f.d.recorder->failOn = "create VIEW V_PATIENT";
    EXPECT_EQ(messageOf<EDBKernelError>([&] { f.module.Ver2->Execute(); }),
              "Table: VISIT. Error creating view V_PATIENT. statement refused");
    EXPECT_TRUE(f.tables().isEmpty());
}

// sp_helpuser lists one row per role of the user: any of them may be db_owner.
TEST(ModuleVersion, OnlyDatabaseOwnersRestructureMsSqlServer)
{
    struct Case
    {
        const char* roles;
        bool allowed;
    };
    const Case cases[] = {
        {"select 'dbo' as UserName, 'db_accessadmin' as RoleName union all select 'dbo', "
         "'DB_OWNER'",
         true},
        {"select 'joe' as UserName, 'db_datareader' as GroupName, 'joe' as LoginName", false},
        {"select 'joe' as UserName, 'joe' as LoginName", true}, // no role column
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.roles);
        Clinic c(1);
        c.d.recorder->standIns[HelpUser] = k.roles;
        const qsizetype from = c.d.recorder->statements.size();
        const QString error = messageOf<EDBKernelError>([&] { c.module.Ver2->Execute(); });
        if (k.allowed) {
            EXPECT_EQ(error, "<no error>");
            EXPECT_EQ(c.tables(), QStringList({"PATIENT", "VISIT", "V_PATIENT"}));
        } else {
            EXPECT_EQ(error,
                      "Database restructure is permited only for database owner role members.");
            EXPECT_EQ(c.d.firstLines(from), QStringList({"declare @uname sysname"}));
        }
    }
}
