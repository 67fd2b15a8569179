// The items, the version component and the structure's own state: copy, clear, key fields and the
// step that applies it.
#include "tablestruct.h"

#include "schemawork.h"

#include <kernel/dbaccess.h>
#include <platform/db/database.h>

void TStructItem::Assign(const TStructItem& source)
{
    NewName = source.NewName;
    UpgradeAction = source.UpgradeAction;
    Custom = source.Custom;
}

void TFieldItem::Assign(const TFieldItem& source)
{
    TStructItem::Assign(source);
    DataType = source.DataType;
    Options = source.Options;
    FieldName = source.FieldName;
    Size = source.Size;
    Precision = source.Precision;
    MetaType = source.MetaType;
}

void TIndexItem::Assign(const TIndexItem& source)
{
    TStructItem::Assign(source);
    Name = source.Name;
    Options = source.Options;
    IndexFields = source.IndexFields;
}

void TLinkItem::Assign(const TLinkItem& source)
{
    TStructItem::Assign(source);
    DeleteAction = source.DeleteAction;
    MasterTable = source.MasterTable;
    MasterFields = source.MasterFields;
    Required = source.Required;
    MasterKeyFields = source.MasterKeyFields;
    Custom = source.Custom;
}

// ---- TDBVersion

TDBVersion::TDBVersion(QObject* owner) : SchemaVersion(owner)
{
}

void TDBVersion::UpdateServerKind()
{
    if (!m_database)
        DBKernelError(QStringLiteral("Not assigned data base for DBVersion ") + objectName());
    m_serverKind = GetServerKind(*m_database);
}

// ---- TTableStruct

TTableStruct::TTableStruct(QObject* owner) : QObject(owner)
{
}

TTableStruct::~TTableStruct() = default;

QString TTableStruct::currentName() const
{
    return m_newName.isEmpty() ? TableName() : m_newName;
}

void TTableStruct::Assign(const TTableStruct& source)
{
    m_custom = source.m_custom;
    m_insertHead = source.m_insertHead;
    m_insertBody = source.m_insertBody;
    m_updateHead = source.m_updateHead;
    m_updateBody = source.m_updateBody;
    m_deleteHead = source.m_deleteHead;
    m_deleteBody = source.m_deleteBody;
    m_tableName = source.TableName();
    m_newName = source.m_newName;
    m_system = source.m_system;
    m_upgradeAction = source.m_upgradeAction;
    m_fields.Assign(source.m_fields);
    m_indexes.Assign(source.m_indexes);
    m_links.Assign(source.m_links);
    m_fieldsOrder = source.m_fieldsOrder;
    OwnerName = source.OwnerName;
    TriggersChanged = source.TriggersChanged;
    CustomChanged = source.CustomChanged;
    ReplicationChange = source.ReplicationChange;
    m_replication = source.m_replication;
    m_dropTriggers = source.m_dropTriggers;
    m_traceLogAction = source.m_traceLogAction;
}

void TTableStruct::Clear()
{
    m_custom.clear();
    m_fields.Clear();
    m_indexes.Clear();
    m_links.Clear();
    for (QStringList* list :
         {&m_insertHead, &m_insertBody, &m_updateHead, &m_updateBody, &m_deleteHead, &m_deleteBody})
        list->clear();
    m_tableName.clear();
    m_newName.clear();
    m_fieldsOrder.clear();
    TriggersChanged = 0;
    CustomChanged = false;
    m_replication = false;
    ReplicationChange = 0;
    m_traceLogAction = tlaDefault;
    m_dropTriggers = {};
    // A work structure reused after a view or a copy must not carry either into its next run.
    IsView = false;
    SkipRolePerm = false;
}

QString TTableStruct::KeyFields() const
{
    for (const TIndexItem& item : m_indexes) {
        if (item.Options.testFlag(idxPrimary))
            return item.IndexFields;
    }
    return QString();
}

void TTableStruct::Execute()
{
    if (!m_dbVersion)
        DBKernelError(QStringLiteral("Not assigned DBVersion for TableStruct ") + objectName());
    Database* database = m_dbVersion->DataBase();
    if (!database)
        DBKernelError(QStringLiteral("Not assigned data base for DBVersion ") +
                      m_dbVersion->objectName());
    TSchemaWork& work = SchemaWork();
    work.Bind(database);
    ServerKind = m_dbVersion->ServerKind();

    work.BooleanAsChar =
        ReadBooleanAsChar(work.MainQuery, ServerKind) || ServerKind == ServerKind::Oracle;

    bool proceed = true;
    if (BeforeExecute)
        BeforeExecute(proceed);
    if (!proceed)
        return;
    switch (m_upgradeAction) {
    case uaCreate:
        CreateTable();
        break;
    case uaAlter:
        AlterTable();
        break;
    case uaDrop:
        DropTable();
        break;
    }
    if (AfterExecute)
        AfterExecute(proceed);
}
