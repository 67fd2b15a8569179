// The kernel database upgrade: version 7's data module with its nine replication tables, and the
// steps 2 to 6, fixed statements per server kind, each in a kernel transaction that ends by
// recording its version.
#include "krnupgrade.h"

#include "schemawork.h"
#include "tablestruct.h"

#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <platform/db/database.h>
#include <platform/db/sqlquery.h>
#include <translation/lc.h>

#include <QScopeGuard>

// ---- version 7

namespace {

TFieldItem* field(TTableStruct* s, const char* name, TDataType type, int size = 0,
                  bool required = false,
                  const QStringList& custom = QStringList{QStringLiteral("Label=")})
{
    TFieldItem* f = s->Fields().Add();
    f->FieldName = QString::fromLatin1(name);
    f->DataType = type;
    f->Size = size;
    f->Options.setFlag(foRequired, required);
    f->Custom = custom;
    return f;
}

// The key, first field of every table: an autoincrement.
void key(TTableStruct* s, const char* name)
{
    field(s, name, dtAutoinc, 0, true);
    TIndexItem* index = s->Indexes().Add();
    index->Name = QStringLiteral("PRIMARY KEY");
    index->IndexFields = QString::fromLatin1(name);
    index->Options = idxPrimary | idxUnique | idxClastered;
}

void index(TTableStruct* s, const char* name, const char* fields, bool unique)
{
    TIndexItem* index = s->Indexes().Add();
    index->Name = QString::fromLatin1(name);
    index->IndexFields = QString::fromLatin1(fields);
    if (unique)
        index->Options = idxUnique;
}

void link(TTableStruct* s, const char* master, const char* refFields, TDeleteAction action)
{
    TLinkItem* l = s->Links().Add();
    l->MasterTable = QString::fromLatin1(master);
    l->MasterFields = QString::fromLatin1(refFields);
    l->DeleteAction = action;
}

// A coded field's lookup lines; the values are the codes themselves.
QStringList lookup(const QString& keys, const QString& values)
{
    return {QStringLiteral("Label="), QStringLiteral("LookupKeys=") + keys,
            QStringLiteral("LookupValues=") + values};
}

} // namespace

TKrnUpgrade::TKrnUpgrade(QObject* parent) : TDataModule(parent)
{
    KrnVer7 = makeComponent<TDBVersion>("KrnVer7", "TDBVersion");
    KrnVer7->SetVersion(7);
    KrnVer7->SetModuleName(QStringLiteral("DBKernel"));
    KrnVer7->AfterExecute = [this](bool& Continue) { KrnVer7AfterExecute(Continue); };

    RM_QUERIES = table("RM_QUERIES");
    key(RM_QUERIES, "RM_QUERIES_ID");
    field(RM_QUERIES, "SCHEME_NAME", dtString, 30, true);
    field(RM_QUERIES, "ENTITY_NAME", dtString, 30, true);
    field(RM_QUERIES, "DATE_CREATE", dtDateTime, 0, true);
    field(RM_QUERIES, "DATE_PROCESS", dtDateTime);
    field(RM_QUERIES, "USER_ID", dtInteger, 0, false,
          {QStringLiteral("OldFieldName=Medecin_ID"), QStringLiteral("Label="),
           QStringLiteral("MdGloss=F")});
    field(RM_QUERIES, "INCOMING", dtBoolean, 0, true);
    field(RM_QUERIES, "ALL_RECORDS", dtBoolean, 0, true);
    index(RM_QUERIES, "idxSCHEMEENTITYDATE_CREATE", "SCHEME_NAME,ENTITY_NAME,DATE_CREATE", true);

    RM_QUERY_PARAMS = table("RM_QUERY_PARAMS");
    key(RM_QUERY_PARAMS, "RM_QUERY_PARAMS_ID");
    field(RM_QUERY_PARAMS, "RM_QUERIES_ID", dtInteger, 0, true);
    field(RM_QUERY_PARAMS, "FIELD_NAME", dtString, 30, true);
    field(RM_QUERY_PARAMS, "VALUE", dtString, 255, true);
    field(RM_QUERY_PARAMS, "CONDITION_TYPE", dtInteger, 0, true,
          lookup(QStringLiteral("0,1,2,3,4,5,6"), QStringLiteral("=,<>,>,<,>=,<=,LIKE")));
    index(RM_QUERY_PARAMS, "idxQUERIESFIELD_NAME", "RM_QUERIES_ID,FIELD_NAME", true);
    link(RM_QUERY_PARAMS, "RM_QUERIES", "RM_QUERIES_ID", daCascade);

    RM_DATABASES = table("RM_DATABASES");
    key(RM_DATABASES, "RM_DATABASES_ID");
    field(RM_DATABASES, "DBNAME", dtString, 80, true);
    field(RM_DATABASES, "IS_LOCAL", dtBoolean, 0, true);
    field(RM_DATABASES, "CONNECTION_PARAMS", dtMemo);
    index(RM_DATABASES, "idxDBNAME", "DBNAME", true);

    RM_KEYS = table("RM_KEYS");
    key(RM_KEYS, "RM_KEYS_ID");
    field(RM_KEYS, "RM_DATABASES_ID", dtInteger, 0, true);
    field(RM_KEYS, "TABLE_NAME", dtString, 30, true);
    field(RM_KEYS, "REC_ID", dtInteger, 0, true);
    field(RM_KEYS, "EXT_REC_ID", dtInteger, 0, true);
    index(RM_KEYS, "idxDATABASETABLEREC", "RM_DATABASES_ID,TABLE_NAME,RM_KEYS_ID", true);
    link(RM_KEYS, "RM_DATABASES", "RM_DATABASES_ID", daCascade);

    RM_SCHEMES = table("RM_SCHEMES");
    key(RM_SCHEMES, "RM_SCHEMES_ID");
    field(RM_SCHEMES, "SCHEME_NAME", dtString, 30, true);
    field(RM_SCHEMES, "OUT_DATABASE_ID", dtInteger, 0, true);
    field(RM_SCHEMES, "OUT_DIR", dtString, 255);
    field(RM_SCHEMES, "IN_DATABASE_ID", dtInteger);
    field(RM_SCHEMES, "IN_DIR", dtString, 255);
    field(RM_SCHEMES, "IN_PROCESSED_DIR", dtString, 255);
    field(RM_SCHEMES, "RPL_IMPL_VERSION", dtInteger, 0, true);
    index(RM_SCHEMES, "idxSHEME_NAME", "SCHEME_NAME", true);
    link(RM_SCHEMES, "RM_DATABASES", "IN_DATABASE_ID", daRestrict);
    link(RM_SCHEMES, "RM_DATABASES", "OUT_DATABASE_ID", daRestrict);

    RM_TABLES = table("RM_TABLES");
    key(RM_TABLES, "RM_TABLES_ID");
    field(RM_TABLES, "RM_SCHEMES_ID", dtInteger, 0, true);
    for (const char* name : {"TABLE_NAME", "TITLE", "KEY_FIELDS"})
        field(RM_TABLES, name, dtString, 30, true);
    for (const char* name : {"IN_TABLE_NAME", "IN_TITLE", "IN_KEY_FIELDS"})
        field(RM_TABLES, name, dtString, 30);
    for (const char* name : {"IS_MAIN", "USE_LOGICAL_NAMES", "IS_VIEW", "IS_KEY_SYNCHRO",
                             "IN_ALLOW_ADD", "IN_ALLOW_MODIFY", "IN_ALLOW_DELETE"})
        field(RM_TABLES, name, dtBoolean, 0, true);
    field(RM_TABLES, "FILTER", dtMemo);
    field(RM_TABLES, "CHANGE_FILTER", dtMemo);
    index(RM_TABLES, "idxSCHEMETABLE_NAME", "RM_SCHEMES_ID,TABLE_NAME", true);
    index(RM_TABLES, "idxSCHEMEIN_TABLE_NAME", "RM_SCHEMES_ID,IN_TABLE_NAME", false);
    link(RM_TABLES, "RM_SCHEMES", "RM_SCHEMES_ID", daCascade);

    RM_FIELDS = table("RM_FIELDS");
    key(RM_FIELDS, "RM_FIELDS_ID");
    field(RM_FIELDS, "RM_TABLES_ID", dtInteger, 0, true);
    for (const char* name : {"NAME", "TITLE", "IN_NAME", "IN_TITLE"})
        field(RM_FIELDS, name, dtString, 30);
    field(RM_FIELDS, "ORD", dtInteger, 0, true);
    field(RM_FIELDS, "DATATYPE", dtInteger);
    field(RM_FIELDS, "IS_REQUIRED", dtBoolean);
    field(RM_FIELDS, "CONST_VALUE", dtString, 255);
    for (const char* name : {"USE_CONST_ADD", "USE_CONST_UPDATE", "USE_CONST_SEARCH"})
        field(RM_FIELDS, name, dtInteger, 0, true,
              lookup(QStringLiteral("0,1,2"), QStringLiteral("0,1,2")));
    link(RM_FIELDS, "RM_TABLES", "RM_TABLES_ID", daCascade);

    RM_LINKS = table("RM_LINKS");
    key(RM_LINKS, "RM_LINKS_ID");
    field(RM_LINKS, "RM_TABLES_ID", dtInteger, 0, true);
    field(RM_LINKS, "MASTER_TABLE_ID", dtInteger, 0, true);
    field(RM_LINKS, "KEY_FIELDS", dtString, 30, true);
    field(RM_LINKS, "IS_MASTER_DETAIL", dtBoolean, 0, true);
    link(RM_LINKS, "RM_TABLES", "RM_TABLES_ID", daCascade);
    link(RM_LINKS, "RM_TABLES", "MASTER_TABLE_ID", daCascade);

    RM_SEARCH_KEYS = table("RM_SEARCH_KEYS");
    key(RM_SEARCH_KEYS, "RM_SEARCH_KEYS_ID");
    field(RM_SEARCH_KEYS, "RM_TABLES_ID", dtInteger, 0, true);
    field(RM_SEARCH_KEYS, "RANG", dtInteger, 0, true);
    field(RM_SEARCH_KEYS, "SEARCH_KEYS", dtString, 255, true);
    link(RM_SEARCH_KEYS, "RM_TABLES", "RM_TABLES_ID", daCascade);

    Q = makeComponent<SqlQuery>("Q", "TQuery");
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
}

TKrnUpgrade::~TKrnUpgrade() = default;

TTableStruct* TKrnUpgrade::table(const char* name)
{
    auto* s = makeComponent<TTableStruct>(name, "TTableStruct");
    s->SetDBVersion(KrnVer7);
    s->SetTableName(QString::fromLatin1(name));
    s->SetUpgradeAction(uaCreate);
    s->SetSystem(true);
    s->SetReplication(false);
    s->SetCustom({QStringLiteral("Label=")});
    return s;
}

void TKrnUpgrade::KrnVer7AfterExecute(bool&)
{
    // Inside the version's transaction: were it written after the commit, a failure would leave
    // version 7 recorded without the row, and nothing would ever write it again.
    Q->setDatabase(KrnVer7->DataBase());
    Q->setSql(QStringLiteral("insert into RM_DATABASES (RM_DATABASES_ID, DBNAME, IS_LOCAL) "
                             "values (1,'LOCAL',1)"));
    Q->execSql();
}

bool UpgradeKernel(Database* database)
{
    TKrnUpgrade* module = CreateForm<TKrnUpgrade>();
    const auto free = qScopeGuard([module] { module->Free(); });
    module->KrnVer7->SetDataBase(database);
    module->KrnVer7->Execute();
    return true;
}

// ---- versions 2 to 6

namespace {

// The statements of one step, and the kernel transaction each step runs in.
class KernelSteps
{
public:
    explicit KernelSteps(TDBAccess& access)
        : m_access(access), m_database(*access.DataBase()), m_kind(access.ServerKind())
    {
        for (SqlQuery* q : {&m_q, &m_fields, &m_update})
            q->setDatabase(&m_database);
    }

    bool Run(int version)
    {
        switch (version) {
        case 2:
            step2();
            return true;
        case 3:
            step3();
            return true;
        case 4:
            step4();
            return true;
        case 5:
            step5();
            return true;
        case 6:
            step6();
            return true;
        case 7:
            return UpgradeKernel(&m_database);
        default:
            return false;
        }
    }

private:
    // Runs the step's statements and its version row in one kernel transaction, and on the local
    // kind in one SQLite transaction too (the kernel's opens none there), so that a failure
    // leaves no part of the step behind.
    void inStep(int version, const std::function<void()>& statements)
    {
        m_access.StartTransaction(false);
        try {
            TLocalTransaction local(&m_database, m_kind);
            statements();
            exec({QStringLiteral("update VERSION set VERSION = %1 where UPPER(MODULE) = "
                                 "'DBKERNEL'")
                      .arg(version)});
            local.Commit();
            m_access.Commit();
        } catch (...) {
            m_access.Rollback();
            throw;
        }
    }

    void exec(const QStringList& lines) { ExecStatement(m_q, lines); }

    // The names of the columns of a select that returns no row.
    QStringList columns(const QString& select)
    {
        OpenStatement(m_fields, {select});
        QStringList names;
        for (int i = 0; i < m_fields.fieldCount(); ++i)
            names.append(m_fields.field(i)->fieldName());
        m_fields.close();
        return names;
    }

    // Every workstation reloads its copy of a metadata dataset that is a cache with an alias.
    void invalidate(DataSet* metadata)
    {
        const auto* cache = dynamic_cast<const TDBCache*>(metadata);
        if (cache && cache->Request() && !cache->Request()->CacheAlias().isEmpty())
            TDBAccess::IncCacheVersion(m_database, cache->Request()->CacheAlias());
    }

    bool fieldMissing(const char* table, const char* column)
    {
        return !FieldExists(QString::fromLatin1(table), QString::fromLatin1(column), m_access);
    }

    bool tableMissing(const char* table)
    {
        return !TableExists(QString::fromLatin1(table), m_access);
    }

    // The text for the server kind: MS SQL Server, Oracle, the local kind.
    const char* byKind(const char* mssql, const char* oracle, const char* local) const
    {
        return m_kind == ServerKind::MSSQL ? mssql : m_kind == ServerKind::Oracle ? oracle : local;
    }

    void step2();
    void step3();
    void step4();
    void step5();
    void step6();

    TDBAccess& m_access;
    Database& m_database;
    ServerKind::Kind m_kind;
    SqlQuery m_q;
    SqlQuery m_fields;
    SqlQuery m_update;
};

QStringList fromLatin1(std::initializer_list<const char*> lines)
{
    QStringList list;
    for (const char* line : lines)
        list.append(QString::fromLatin1(line));
    return list;
}

// Step 2: METAFIELD.ORD numbers every described table's columns in their order.
void KernelSteps::step2()
{
    inStep(2, [this] {
        const QStringList fields = columns(QStringLiteral("select * from METAFIELD where 0=1"));
        if (!fields.contains(QStringLiteral("ORD"), Qt::CaseInsensitive))
            exec({QStringLiteral("alter table METAFIELD add ORD integer")});
        SetStatement(m_update, fromLatin1({"update METAFIELD set ORD = :ORD",
                                           "where TABLE_NAME = :TABLE_NAME",
                                           "  and FIELD_NAME = :FIELD_NAME"}));
        m_update.setKeepPrepared(true);
        const auto unprepare = qScopeGuard([this] { m_update.setKeepPrepared(false); });
        QStringList tables;
        OpenStatement(m_q, {QStringLiteral("select TABLE_NAME from METATABLE")});
        for (; !m_q.eof(); m_q.next())
            tables.append(m_q.field(0)->asString());
        m_q.close();
        Param& ord = m_update.paramByName(QStringLiteral("ORD"));
        Param& table = m_update.paramByName(QStringLiteral("TABLE_NAME"));
        Param& field = m_update.paramByName(QStringLiteral("FIELD_NAME"));
        for (const QString& name : std::as_const(tables)) {
            const QStringList names = columns(QStringLiteral("select * from ") + name);
            table.setAsString(name);
            for (qsizetype i = 0; i < names.size(); ++i) {
                ord.setAsInteger(i + 1);
                field.setAsString(names.at(i));
                m_update.execSql();
            }
        }
    });
    invalidate(m_access.Fields());
}

// Step 3: the trigger texts of METATABLE.
void KernelSteps::step3()
{
    inStep(3, [this] {
        const QStringList present = columns(QStringLiteral("select * from METATABLE where 0=1"));
        const QString type = m_kind == ServerKind::Standard ? QStringLiteral("BLOB(1,1)")
                                                            : QStringLiteral("TEXT NULL");
        for (const char* column : {"INSERT_HEAD", "INSERT_BODY", "UPDATE_HEAD", "UPDATE_BODY",
                                   "DELETE_HEAD", "DELETE_BODY"}) {
            const QString name = QString::fromLatin1(column);
            if (!present.contains(name, Qt::CaseInsensitive))
                exec({QStringLiteral("alter table METATABLE add %1 %2").arg(name, type)});
        }
    });
    invalidate(m_access.Tables());
}

// Step 4: replication (REC_VERSION on MS SQL Server, METATABLE.REPL but on Oracle).
void KernelSteps::step4()
{
    inStep(4, [this] {
        if (m_kind == ServerKind::MSSQL) {
            for (const char* statement :
                 {"create table REC_VERSION(REC_VERSION_ID integer identity not null,TABLE_NAME "
                  "varchar(30) not null, UNIREC_ID integer not null,REC_GUID "
                  "uniqueidentifier,VERSION_GUID uniqueidentifier null,OLDVERSION_GUID "
                  "uniqueidentifier null,ISDELETED bit not null, PATIENTS_ID integer null)",
                  "alter table REC_VERSION add constraint PK_REC_VERSION primary key nonclustered "
                  "(REC_VERSION_ID)",
                  "create clustered index idxTABLE_NAME on REC_VERSION (TABLE_NAME)",
                  "alter table METATABLE add REPL bit"})
                exec({QString::fromLatin1(statement)});
        } else if (m_kind == ServerKind::Standard) {
            exec({QStringLiteral("alter table METATABLE add REPL boolean")});
        }
    });
    invalidate(m_access.Fields());
}

// Step 5: views' metadata (base table, object kind, origin and native name of their fields), the
// lookup flag and the flags table; on MS SQL Server, every user may read the kernel's tables.
void KernelSteps::step5()
{
    struct Column
    {
        const char* table;
        const char* column;
        const char* mssql;
        const char* oracle;
        const char* local;
    };
    static const Column added[] = {
        {"METATABLE", "BASE_TABLE", "alter table METATABLE add BASE_TABLE varchar(30) NULL",
         "alter table METATABLE add BASE_TABLE varchar2(30) NULL",
         "alter table METATABLE add BASE_TABLE varchar(1)"},
        {"METATABLE", "OBJECT_KIND", "alter table METATABLE add OBJECT_KIND varchar(1) NULL",
         "alter table METATABLE add OBJECT_KIND varchar2(1) NULL",
         "alter table METATABLE add OBJECT_KIND varchar(1)"},
        {"METATABLE", "ISLOOKUP", "alter table METATABLE add ISLOOKUP int NULL",
         "alter table METATABLE add ISLOOKUP integer NULL",
         "alter table METATABLE add ISLOOKUP int"},
        {"METAFIELD", "ORIGIN", "alter table METAFIELD add ORIGIN varchar(30) NULL",
         "alter table METAFIELD add ORIGIN varchar2(30) NULL",
         "alter table METAFIELD add ORIGIN varchar(30)"},
        {"METAFIELD", "NATIVE_NAME", "alter table METAFIELD add NATIVE_NAME varchar(30) NULL",
         "alter table METAFIELD add NATIVE_NAME varchar2(30) NULL",
         "alter table METAFIELD add NATIVE_NAME varchar(30)"},
    };
    inStep(5, [this] {
        for (const Column& c : added) {
            if (fieldMissing(c.table, c.column))
                exec({QString::fromLatin1(byKind(c.mssql, c.oracle, c.local))});
        }
        // SQLite takes no table-qualified column name in a create statement.
        if (tableMissing("_KRN_SYS_FLAGS"))
            exec({QString::fromLatin1(byKind(
                "create table _KRN_SYS_FLAGS(FLAG varchar(30) not null,VALUE int,primary "
                "key(FLAG))",
                "create table \"_KRN_SYS_FLAGS\" (FLAG varchar2(30) not null,VALUE int,primary "
                "key(FLAG))",
                "create table \"_KRN_SYS_FLAGS\" (FLAG varchar(30),\"VALUE\" int,primary "
                "key(FLAG))"))});
        exec({QStringLiteral("update METATABLE set OBJECT_KIND = 'T' where OBJECT_KIND is null")});
    });
    if (m_kind != ServerKind::MSSQL)
        return;
    for (const char* table : {"_KRN_SYS_FLAGS", "METATABLE", "METAFIELD", "TABLELINK", "VERSION"})
        exec({QStringLiteral("grant select on %1 to PUBLIC").arg(QLatin1String(table))});
    // The kernel reads its extra macros from META_MACRO and works without it.
    if (!tableMissing("META_MACRO"))
        exec({QStringLiteral("grant select on META_MACRO to PUBLIC")});
}

// Step 6: change tracing (METATABLE.TRACE_LOG; on the servers the read-only tables KRN_SYS_TRACE
// and KRN_SYS_TRACE_LOG).
void KernelSteps::step6()
{
    inStep(6, [this] {
        if (fieldMissing("METATABLE", "TRACE_LOG"))
            exec({QString::fromLatin1(byKind("alter table METATABLE add TRACE_LOG varchar(1) NULL",
                                             "alter table METATABLE add TRACE_LOG varchar2(1) NULL",
                                             "alter table METATABLE add TRACE_LOG varchar(1)"))});
        if (m_kind == ServerKind::MSSQL) {
            if (tableMissing("KRN_SYS_TRACE")) {
                exec(
                    fromLatin1({"create table KRN_SYS_TRACE(", "TABLE_NAME varchar(30) NOT NULL,",
                                "REC_ID int NOT NULL,", "USER_ID int NOT NULL DEFAULT (user_id()),",
                                "DATE_CHANGE datetime NOT NULL DEFAULT (GetDate()),",
                                "ACTION varchar(1) NOT NULL", ")"}));
                exec(fromLatin1({"alter table KRN_SYS_TRACE add primary key", "(",
                                 "      TABLE_NAME,", "      REC_ID,", "      USER_ID,",
                                 "      DATE_CHANGE", "      )"}));
                exec(fromLatin1({"create trigger tUD_KRN_SYS_TRACE on KRN_SYS_TRACE for "
                                 "UPDATE,DELETE as",
                                 "begin", "  raiserror 999999 'Table KRN_SYS_TRACE is read only.'",
                                 "  rollback transaction", "end"}));
                exec({QStringLiteral("grant insert on KRN_SYS_TRACE to PUBLIC")});
            }
            if (tableMissing("KRN_SYS_TRACE_LOG")) {
                exec(fromLatin1(
                    {"create table KRN_SYS_TRACE_LOG(", "   TABLE_NAME varchar(30) NOT NULL,",
                     "   REC_ID int NOT NULL,", "   USER_ID int NOT NULL DEFAULT (user_id()),",
                     "   DATE_CHANGE datetime NOT NULL DEFAULT (GetDate()),",
                     "   ACTION varchar(1) NOT NULL,", "   LOG text,", "   LOG_DATA text", " )"}));
                exec(
                    fromLatin1({"alter table KRN_SYS_TRACE_LOG add primary key", "(",
                                "  TABLE_NAME,", "  REC_ID,", "  USER_ID,", "  DATE_CHANGE", ")"}));
                exec(fromLatin1({"create trigger tUD_KRN_SYS_TRACE_LOG on KRN_SYS_TRACE_LOG for "
                                 "UPDATE,DELETE as",
                                 "begin",
                                 "  raiserror 999999 'Table KRN_SYS_TRACE_LOG is read only.'",
                                 "  rollback transaction", "end"}));
                exec({QStringLiteral("grant insert on KRN_SYS_TRACE_LOG to PUBLIC")});
            }
        } else if (m_kind == ServerKind::Oracle) {
            for (const char* table : {"KRN_SYS_TRACE", "KRN_SYS_TRACE_LOG"}) {
                if (!tableMissing(table))
                    continue;
                const QString name = QString::fromLatin1(table);
                const bool log = name == QLatin1String("KRN_SYS_TRACE_LOG");
                QStringList create =
                    QStringList{QStringLiteral("create table %1(").arg(name)} +
                    fromLatin1({"  TABLE_NAME varchar2(30) NOT NULL,", "  REC_ID integer NOT NULL,",
                                "  USER_ID integer DEFAULT UID NOT NULL,",
                                "  DATE_CHANGE date DEFAULT SYSDATE NOT NULL,"});
                create += log ? fromLatin1({"  ACTION varchar2(1) NOT NULL,", "  LOG CLOB null,",
                                            "  LOG_DATA CLOB null"})
                              : fromLatin1({"  ACTION varchar2(1) NOT NULL"});
                create += QStringLiteral(")");
                exec(create);
                exec(QStringList{QStringLiteral("alter table %1 add (primary key").arg(name)} +
                     fromLatin1({"(", "  TABLE_NAME,", "  REC_ID,", "  USER_ID,", "  DATE_CHANGE",
                                 " ))"}));
                exec({QStringLiteral("create trigger tUD_%1 before delete or update on %1")
                          .arg(name),
                      QStringLiteral("begin"),
                      QStringLiteral("  raise_application_error(-20999,'Table %1 is read only.');")
                          .arg(name),
                      QStringLiteral("  rollback;"), QStringLiteral("end;")});
                exec({QStringLiteral("grant insert on %1 to \"DEFAULT\"").arg(name)});
            }
        }
        exec({QStringLiteral("update METATABLE set TRACE_LOG = 'F'")});
    });
}

} // namespace

bool UpgradeKernelSteps(TDBAccess& access, int databaseVersion, int codeVersion)
{
    if (databaseVersion >= TDBAccess::KernelCodeVersion)
        return true;
    if (!access.AutoKernelUpgrade())
        return false;
    if (!access.DataBase())
        DBKernelError(QStringLiteral("Not assigned database."));
    // A driver of no known kind has none of the steps' dialects.
    if (access.ServerKind() == ServerKind::Unknown)
        return false;
    KernelSteps steps(access);
    for (int version = databaseVersion + 1; version <= codeVersion; ++version) {
        if (!steps.Run(version))
            return false;
    }
    access.SetKernelVersion(codeVersion);
    return true;
}
