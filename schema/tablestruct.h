// Declarative descriptions of a module's tables: TDBVersion, one schema version of a module, and
// TTableStruct, one table (or view) with its fields, indexes, links to master tables, custom
// metadata and the texts merged into its triggers. Executing a structure creates, alters or drops
// the table on MS SQL Server, Oracle or the local kind, with its kernel metadata rows and its
// triggers.
#pragma once

#include <kernel/krnproc.h>
#include <kernel/metadata.h>
#include <kernel/schemaapi.h>
#include <platform/db/database.h>
#include <platform/db/serverkind.h>

#include <QFlags>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class TDBAccess;
class TTableStruct;

enum TUpgradeAction : quint8 { uaCreate, uaAlter, uaDrop };
enum TTraceLogAction : quint8 { tlaDefault, tlaEnable, tlaDisable };

enum TDropTriggerOption { dtInsert = 0x1, dtUpdate = 0x2, dtDelete = 0x4 };
Q_DECLARE_FLAGS(TDropTriggerOptions, TDropTriggerOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TDropTriggerOptions)

enum TFieldOption { foRequired = 0x1, foHidden = 0x2 };
Q_DECLARE_FLAGS(TFieldOptions, TFieldOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFieldOptions)

enum TIndexStructOption { idxPrimary = 0x1, idxUnique = 0x2, idxClastered = 0x4 };
Q_DECLARE_FLAGS(TIndexStructOptions, TIndexStructOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TIndexStructOptions)

// Called before or after a step with `Continue` true; a handler that sets it false skips the step
// that follows.
using TExecuteNotifyEvent = std::function<void(bool& Continue)>;

// Bits of TTableStruct::TriggersChanged: the trigger texts of that kind changed.
namespace TriggerBit {
constexpr quint8 Insert = 0x1;
constexpr quint8 Update = 0x2;
constexpr quint8 Delete = 0x4;
} // namespace TriggerBit

// ---- items

class TStructItem
{
public:
    virtual ~TStructItem() = default;
    // Copies NewName, UpgradeAction and Custom.
    void Assign(const TStructItem& source);

    TUpgradeAction UpgradeAction = uaCreate;
    QStringList Custom; // key=value lines
    QString NewName;
};

// A column.
class TFieldItem : public TStructItem
{
public:
    QString DisplayName() const { return FieldName; }
    // The base part, then DataType, Options, FieldName, Size, Precision and MetaType.
    void Assign(const TFieldItem& source);

    QString FieldName;
    TDataType DataType = dtUnknown;
    int Size = 0;      // string length, or numeric precision
    int Precision = 0; // numeric scale
    TFieldOptions Options;
    QString MetaType;
    // Carried for reference only: an alter leaves its column and metadata untouched.
    bool Unchanged = false;
    QString Origin;     // METAFIELD.ORIGIN
    QString NativeName; // METAFIELD.NATIVE_NAME
};

// An index; the primary key is the item whose Options hold idxPrimary (conventionally named
// "PRIMARY KEY").
class TIndexItem : public TStructItem
{
public:
    QString DisplayName() const { return Name + QLatin1Char('(') + IndexFields + QLatin1Char(')'); }
    // The base part, then Name, Options and IndexFields.
    void Assign(const TIndexItem& source);

    QString Name;
    QString IndexFields; // comma-separated, written as they are into the DDL
    TIndexStructOptions Options;
};

// A reference from the structure's table (the child) to a master table (the parent).
class TLinkItem : public TStructItem
{
public:
    QString DisplayName() const { return MasterTable; }
    // The base part, then DeleteAction, MasterTable, MasterFields, Required, MasterKeyFields and
    // Custom.
    void Assign(const TLinkItem& source);

    TDeleteAction DeleteAction = daNone;
    QString MasterTable;  // TABLELINK.PARENT
    QString MasterFields; // the child's referencing columns: TABLELINK.REF_FIELDS
    QString NewMasterFields;
    bool Required = false;
    QString MasterKeyFields; // the master's key columns: TABLELINK.KEY_FIELDS
    QString NewMasterTable;  // the master's new name, when it is given one
    QString ChildTable;      // written as TABLELINK.CHILD instead of the table's name when set
};

// ---- sections

// The items of one kind of a structure, in order; owns them.
template <class T> class TStructSection
{
public:
    explicit TStructSection(TTableStruct* owner) : m_owner(owner) {}
    TStructSection(const TStructSection&) = delete;
    TStructSection& operator=(const TStructSection&) = delete;

    TTableStruct* Owner() const { return m_owner; }
    int Count() const { return int(m_items.size()); }
    T* Items(int index) const { return m_items.at(size_t(index)).get(); }
    T* Add()
    {
        m_items.push_back(std::make_unique<T>());
        return m_items.back().get();
    }
    void Delete(int index) { m_items.erase(m_items.begin() + index); }
    void Clear() { m_items.clear(); }
    // Replaces the items by new ones, each given the source item through Assign.
    void Assign(const TStructSection& source)
    {
        std::vector<std::unique_ptr<T>> items;
        for (const auto& item : source.m_items) {
            items.push_back(std::make_unique<T>());
            items.back()->Assign(*item);
        }
        m_items = std::move(items);
    }

    class const_iterator
    {
    public:
        using Base = typename std::vector<std::unique_ptr<T>>::const_iterator;
        explicit const_iterator(Base it) : m_it(it) {}
        T& operator*() const { return **m_it; }
        const_iterator& operator++()
        {
            ++m_it;
            return *this;
        }
        bool operator!=(const const_iterator& other) const { return m_it != other.m_it; }

    private:
        Base m_it;
    };
    const_iterator begin() const { return const_iterator(m_items.begin()); }
    const_iterator end() const { return const_iterator(m_items.end()); }

private:
    TTableStruct* m_owner;
    std::vector<std::unique_ptr<T>> m_items;
};

using TFieldSection = TStructSection<TFieldItem>;
using TIndexSection = TStructSection<TIndexItem>;
using TLinkSection = TStructSection<TLinkItem>;

// ---- the version

// One schema version of a module. Its server kind is read from DataBase when the version starts
// applying its structures.
class TDBVersion : public SchemaVersion
{
    Q_OBJECT
public:
    explicit TDBVersion(QObject* owner = nullptr);

    int Version() const { return m_version; }
    void SetVersion(int version) { m_version = version; }
    // The module's name in table VERSION (compared upper-cased).
    QString ModuleName() const { return m_moduleName; }
    void SetModuleName(const QString& name) { m_moduleName = name; }
    // The connection the version is applied to; null when that object goes.
    Database* DataBase() const { return m_database; }
    void SetDataBase(Database* database) { m_database = database; }
    // Kept with the description; nothing here reads it.
    QString AlterVersions() const { return m_alterVersions; }
    void SetAlterVersions(const QString& text) { m_alterVersions = text; }

    TExecuteNotifyEvent BeforeExecute;
    TExecuteNotifyEvent AfterExecute;

    ServerKind::Kind ServerKind() const { return m_serverKind; }
    // Connects DataBase and takes its server kind. Raises "Not assigned data base for DBVersion
    // %s" without one.
    void UpdateServerKind();

private:
    int m_version = 0;
    QString m_moduleName;
    QPointer<Database> m_database;
    QString m_alterVersions;
    ServerKind::Kind m_serverKind = ServerKind::Unknown;
};

// ---- the structure

// One table or view. Every operation runs on the structure tools' shared queries and table (see
// schemawork.h), on the main thread, and none is re-entrant. Database errors pass through; the
// caller decides about the transaction.
class TTableStruct : public QObject
{
    Q_OBJECT
public:
    explicit TTableStruct(QObject* owner = nullptr);
    ~TTableStruct() override;

    // ---- described properties
    TDBVersion* DBVersion() const { return m_dbVersion; }
    void SetDBVersion(TDBVersion* version) { m_dbVersion = version; }
    // Always upper-cased.
    QString TableName() const { return m_tableName.toUpper(); }
    void SetTableName(const QString& name) { m_tableName = name; }
    // For an alter: the table's new name; empty for none.
    QString NewName() const { return m_newName; }
    void SetNewName(const QString& name) { m_newName = name; }
    TUpgradeAction UpgradeAction() const { return m_upgradeAction; }
    void SetUpgradeAction(TUpgradeAction action) { m_upgradeAction = action; }
    TFieldSection& Fields() { return m_fields; }
    const TFieldSection& Fields() const { return m_fields; }
    TIndexSection& Indexes() { return m_indexes; }
    const TIndexSection& Indexes() const { return m_indexes; }
    TLinkSection& Links() { return m_links; }
    const TLinkSection& Links() const { return m_links; }
    // Table custom metadata: key=value lines (METATABLE.CUSTOM).
    const QStringList& Custom() const { return m_custom; }
    void SetCustom(const QStringList& lines) { m_custom = lines; }
    // Declarations (head) and statements (body) merged into the generated triggers.
    const QStringList& InsertHead() const { return m_insertHead; }
    void SetInsertHead(const QStringList& lines) { m_insertHead = lines; }
    const QStringList& InsertBody() const { return m_insertBody; }
    void SetInsertBody(const QStringList& lines) { m_insertBody = lines; }
    const QStringList& UpdateHead() const { return m_updateHead; }
    void SetUpdateHead(const QStringList& lines) { m_updateHead = lines; }
    const QStringList& UpdateBody() const { return m_updateBody; }
    void SetUpdateBody(const QStringList& lines) { m_updateBody = lines; }
    const QStringList& DeleteHead() const { return m_deleteHead; }
    void SetDeleteHead(const QStringList& lines) { m_deleteHead = lines; }
    const QStringList& DeleteBody() const { return m_deleteBody; }
    void SetDeleteBody(const QStringList& lines) { m_deleteBody = lines; }
    // A kernel system table (true after construction); a view made while it is set opens no
    // transaction of its own.
    bool System() const { return m_system; }
    void SetSystem(bool on) { m_system = on; }
    // Kept and copied; nothing here reads it.
    QString FieldsOrder() const { return m_fieldsOrder; }
    void SetFieldsOrder(const QString& text) { m_fieldsOrder = text; }
    // Kept and copied; read by the structure engine.
    TDropTriggerOptions DropTriggers() const { return m_dropTriggers; }
    void SetDropTriggers(TDropTriggerOptions options) { m_dropTriggers = options; }
    // Replicated table: REC_VERSION upkeep in its triggers and metadata.
    bool Replication() const { return m_replication; }
    void SetReplication(bool on) { m_replication = on; }
    // Change tracing into KRN_SYS_TRACE.
    TTraceLogAction TraceLogAction() const { return m_traceLogAction; }
    void SetTraceLogAction(TTraceLogAction action) { m_traceLogAction = action; }

    TExecuteNotifyEvent BeforeExecute;
    TExecuteNotifyEvent AfterExecute;

    // ---- state of a run, set by the structure engine or by the operations
    QString OwnerName; // METATABLE.OWNER_NAME
    QString BaseTable; // METATABLE.BASE_TABLE
    // Taken from the version or the access component for each run.
    ServerKind::Kind ServerKind = ServerKind::Unknown;
    bool IsView = false;        // set by CreateView, cleared by CreateTable
    bool SkipRolePerm = false;  // InsertMetaTable writes no ROLEPERM rows
    quint8 TriggersChanged = 0; // TriggerBit values
    bool CustomChanged = false;
    quint8 ReplicationChange = 0; // 0 unchanged, 1 switched on, 2 switched off

    // Copies the description, OwnerName and the change marks (not DBVersion, BaseTable,
    // ServerKind, IsView or SkipRolePerm).
    void Assign(const TTableStruct& source);
    // Empties the description and resets the change marks, IsView and SkipRolePerm; DBVersion,
    // UpgradeAction and System stay.
    void Clear();
    // The fields of the first index holding idxPrimary; empty without one.
    QString KeyFields() const;

    // Applies the structure through its version's database: create, alter or drop. Raises "Not
    // assigned DBVersion for TableStruct %s" without a version.
    void Execute();

    // ---- table DDL (ddl.cpp)
    void CreateTable();
    void AlterTable();
    // Removes the metadata rows, then the view or the table with its triggers.
    void DropTable();
    // Creates the structure as a view of the select lines, with its metadata rows, through the
    // access component's database.
    void CreateView(TDBAccess& access, const QStringList& selectText);
    void ExecCreateTable();
    void CreateIndexes();
    void CreateIndex(const TIndexItem& item);
    void DropIndex(const TIndexItem& item);
    void AlterField(const TFieldItem& item);
    void RenameTable();
    // Raises the kernel error for a field item without a name or (on a creation) without a type.
    void CheckFields() const;
    // Existence tests; any error answers false.
    bool ObjectExists(const QString& name, const QString& typeText);
    bool TableExists();
    bool IndexExists(const QString& name);
    bool ColumnExists(const QString& name);

    // ---- kernel metadata rows (metarows.cpp)
    void InsertMetaTable();
    void UpdateMetaTable();
    void InsertMetaField(const TFieldItem& item);
    void UpdateMetaField(const TFieldItem& item);
    void DeleteMetaField(const TFieldItem& item);
    void InsertLinks();
    void InsertLink(const TLinkItem& item);
    void UpdateLink(const TLinkItem& item);
    void DeleteLink(const TLinkItem& item);
    void UpdateFieldOrder();

    // ---- triggers (triggers.cpp)
    void GenerateInsertTrigger();
    void GenerateUpdateTrigger();
    // The structure's own delete trigger when its texts, its tracing or its links changed, and
    // the delete trigger of every master it links to.
    void GenerateDeleteTriggers();
    // The delete trigger of table `name`, written as the trigger of `triggerTable` (they differ
    // only while a master is being given a new name).
    void GenerateDeleteTrigger(const QString& name, const QString& triggerTable);
    void DropAllTriggers();
    // Drops the trigger (MS SQL Server) and runs the shared script, when it has lines, with every
    // "@" variable upper-cased and the colons left to the server.
    static void ExecTriggerScript(const QString& triggerName, ServerKind::Kind serverKind);

private:
    // The name triggers and the field order are written under: NewName when set.
    QString currentName() const;
    void deleteMetaRows(const QString& name);
    void generateDeleteTriggers(bool tableDropped);
    bool oracleIndexFound(const QString& name);

    QPointer<TDBVersion> m_dbVersion;
    QString m_tableName;
    QString m_newName;
    TUpgradeAction m_upgradeAction = uaCreate;
    TFieldSection m_fields{this};
    TIndexSection m_indexes{this};
    TLinkSection m_links{this};
    QStringList m_custom;
    QStringList m_insertHead, m_insertBody, m_updateHead, m_updateBody, m_deleteHead, m_deleteBody;
    bool m_system = true;
    QString m_fieldsOrder;
    TDropTriggerOptions m_dropTriggers;
    bool m_replication = false;
    TTraceLogAction m_traceLogAction = tlaDefault;
};

// Whether the table, or the column of the table, exists on the access component's database
// (used by the kernel upgrade).
bool TableExists(const QString& tableName, TDBAccess& access);
bool FieldExists(const QString& tableName, const QString& fieldName, TDBAccess& access);
