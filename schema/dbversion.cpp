// Applying one module version of the schema: the owner-role check on MS SQL Server, the version's
// transaction per server kind, every structure of the owner through one structure engine, the
// views of the owner's requests, the module's VERSION row and cache alias, and the progress
// channels that report it all.
#include "schemawork.h"
#include "tablestrengine.h"
#include "tablestruct.h"

#include <kernel/dbaccess.h>
#include <kernel/request.h>
#include <platform/codepage.h>
#include <platform/db/database.h>
#include <platform/ui/forms.h>

#include <QProgressBar>
#include <QScopeGuard>
#include <QWidget>

namespace {

// ---- progress

void showStatus(const QString& text)
{
    QWidget* control = SchemaWork().StatusControl;
    if (!control)
        return;
    control->setProperty("text", text);
    // The work goes on without returning to the event loop: the form shows the text now.
    for (QObject* o = control->parent(); o; o = o->parent()) {
        if (auto* form = qobject_cast<TForm*>(o)) {
            form->repaint();
            break;
        }
    }
}

void addLogLine(const QString& text)
{
    if (QStringList* lines = SchemaWork().LogLines)
        lines->append(text);
}

void stepProgress()
{
    if (QProgressBar* bar = SchemaWork().ProgressBar)
        bar->setValue(bar->value() + 1);
}

QString statusVerb(TUpgradeAction action)
{
    switch (action) {
    case uaCreate:
        return QStringLiteral("Creating table ");
    case uaAlter:
        return QStringLiteral("Altering table ");
    case uaDrop:
        break;
    }
    return QStringLiteral("Droping table ");
}

QString logEnding(TUpgradeAction action)
{
    switch (action) {
    case uaCreate:
        return QStringLiteral(" created.");
    case uaAlter:
        return QStringLiteral(" modified.");
    case uaDrop:
        break;
    }
    return QStringLiteral(" droped.");
}

// ---- the owner

// The owner's components in creation order: a form's or data module's own list, else the owner's
// children.
QList<QObject*> ownerComponents(const QObject& version)
{
    QObject* owner = version.parent();
    if (!owner)
        return {};
    if (const auto* components = dynamic_cast<const ComponentOwner*>(owner))
        return components->components();
    return owner->children();
}

// MS SQL Server lets only members of the database's db_owner role restructure it. sp_helpuser
// lists one row per role of the user, so every row is looked at, not the first alone.
void checkOwnerRole(SqlQuery& q)
{
    OpenStatement(q, {QStringLiteral("declare @uname sysname"),
                      QStringLiteral("select  @uname = user_name()"),
                      QStringLiteral("exec sp_helpuser @uname")});
    const auto close = qScopeGuard([&q] { q.close(); });
    Field* role = nullptr;
    for (int i = 0; i < q.fieldCount() && !role; ++i) {
        const QString name = q.field(i)->fieldName();
        if (name.compare(QLatin1String("GroupName"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("RoleName"), Qt::CaseInsensitive) == 0)
            role = q.field(i);
    }
    if (!role)
        return;
    for (q.first(); !q.eof(); q.next()) {
        if (role->asString().trimmed().compare(QLatin1String("db_owner"), Qt::CaseInsensitive) == 0)
            return;
    }
    DBKernelError(
        QStringLiteral("Database restructure is permited only for database owner role members."));
}

// The transaction a version runs in. MS SQL Server: the server's own, opened and ended by
// statements, the connection left in its auto-commit mode; Oracle: the connection's; the local
// kind: one SQLite transaction (or a savepoint of the caller's), which the structure engine's
// changes join.
class VersionTransaction
{
public:
    VersionTransaction(Database& database, ServerKind::Kind kind)
        : m_database(database), m_kind(kind)
    {
    }

    void Begin()
    {
        SqlQuery& q = SchemaWork().MainQuery;
        switch (m_kind) {
        case ServerKind::MSSQL:
            // Left with one transaction open, the second, at the serializable level.
            for (const char* statement :
                 {"BEGIN TRANSACTION", "SET TRANSACTION ISOLATION LEVEL SERIALIZABLE", "COMMIT",
                  "BEGIN TRANSACTION"})
                ExecStatement(q, {QString::fromLatin1(statement)});
            break;
        case ServerKind::Oracle:
            m_database.startTransaction();
            break;
        default:
            m_local = std::make_unique<TLocalTransaction>(&m_database, m_kind);
            break;
        }
    }

    void Commit()
    {
        switch (m_kind) {
        case ServerKind::MSSQL:
            ExecStatement(SchemaWork().MainQuery, {QStringLiteral("COMMIT")});
            break;
        case ServerKind::Oracle:
            m_database.commit();
            break;
        default:
            if (m_local)
                m_local->Commit();
            break;
        }
    }

    // Errors of the rollback are ignored: the error that led here is the one reported.
    void Rollback()
    {
        try {
            switch (m_kind) {
            case ServerKind::MSSQL:
                ExecStatement(SchemaWork().MainQuery,
                              {QStringLiteral("if @@Trancount <> 0 ROLLBACK")});
                break;
            case ServerKind::Oracle:
                m_database.rollback();
                break;
            default:
                if (m_local)
                    m_local->Rollback();
                break;
            }
        } catch (const Exception&) {
        }
    }

private:
    Database& m_database;
    ServerKind::Kind m_kind;
    std::unique_ptr<TLocalTransaction> m_local;
};

} // namespace

void TDBVersion::SetProgress(QProgressBar* bar, QWidget* statusControl, QStringList* logLines)
{
    TSchemaWork& work = SchemaWork();
    work.ProgressBar = bar;
    work.StatusControl = statusControl;
    work.LogLines = logLines;
}

void TDBVersion::Execute()
{
    const auto channelsOff = qScopeGuard([] { SetProgress(nullptr, nullptr, nullptr); });
    if (!m_database)
        DBKernelError(QStringLiteral("DBVersion %1: not assigned DataBase.").arg(objectName()));
    Database& database = *m_database;
    TSchemaWork& work = SchemaWork();
    work.Bind(nullptr);
    UpdateServerKind();
    const ServerKind::Kind kind = m_serverKind;
    work.Bind(&database);
    if (kind == ServerKind::MSSQL)
        checkOwnerRole(work.MainQuery);

    const QList<QObject*> components = ownerComponents(*this);
    QList<QPointer<TTableStruct>> structures;
    QList<QPointer<TDBRequest>> views;
    for (QObject* component : components) {
        if (auto* s = qobject_cast<TTableStruct*>(component); s && s->DBVersion() == this)
            structures.append(s);
        else if (auto* r = qobject_cast<TDBRequest*>(component); r && r->DBVersion() == this)
            views.append(r);
    }
    if (QProgressBar* bar = work.ProgressBar) {
        bar->setMaximum(int(structures.size()));
        bar->setValue(0);
    }
    bool proceed = true;
    if (BeforeExecute)
        BeforeExecute(proceed);
    if (!proceed)
        return;

    TTableStrEngine engine;
    engine.BatchMode = true;
    VersionTransaction transaction(database, kind);
    QPointer<TTableStruct> current; // the structure handed to the engine last
    try {
        transaction.Begin();
        for (const QPointer<TTableStruct>& s : std::as_const(structures)) {
            if (!s || s->TableName().isEmpty())
                continue;
            const TUpgradeAction action = s->UpgradeAction();
            s->ServerKind = kind;
            showStatus(statusVerb(action) + s->TableName() + QStringLiteral("..."));
            stepProgress();
            proceed = true;
            if (s->BeforeExecute)
                s->BeforeExecute(proceed);
            if (!proceed)
                continue;
            current = s;
            if (action == uaDrop) {
                engine.DropTable(*s);
            } else {
                // The table is bound afresh: an earlier structure may have changed it.
                engine.TableNameBox.clear();
                engine.T.setTableName(QString());
                engine.LoadStructure(*s);
                if (engine.BadTableName)
                    DBKernelError(QStringLiteral("Wrong table name."));
                engine.TSR.ServerKind = kind;
                engine.SaveStructure();
            }
            if (s->AfterExecute)
                s->AfterExecute(proceed);
            addLogLine(QStringLiteral("Table ") + s->TableName() + logEnding(action));
        }
        if (kind != ServerKind::Standard) {
            for (const QPointer<TDBRequest>& r : std::as_const(views)) {
                if (!r || r->ViewName().isEmpty())
                    continue;
                const QString name = r->ViewName();
                showStatus(QStringLiteral("Creating view ") + name + QStringLiteral("..."));
                try {
                    r->CreateView(true);
                } catch (const Exception& e) {
                    DBKernelError(QStringLiteral("Error creating view ") + name +
                                  QStringLiteral(". ") + e.message());
                }
                addLogLine(QStringLiteral("View ") + name + QStringLiteral(" created."));
            }
        }
        proceed = true;
        if (AfterExecute)
            AfterExecute(proceed);
        if (m_version != 0 && !m_moduleName.isEmpty())
            writeVersionRow(database);
        transaction.Commit();
    } catch (const Exception& e) {
        transaction.Rollback();
        DBKernelError(current ? QStringLiteral("Table: ") + current->TableName() +
                                    QStringLiteral(". ") + e.message()
                              : e.message());
    } catch (...) {
        transaction.Rollback();
        throw;
    }
}

void TDBVersion::writeVersionRow(Database& database)
{
    // VERSION keeps the module's name upper-cased, and so it is looked for: an exact comparison
    // (SQLite, Oracle) would otherwise never find the row and add a second one.
    const QString module = codepage::upper(m_moduleName);
    SqlQuery& q = SchemaWork().MainQuery;
    SetStatement(q, {QStringLiteral("select VERSION from VERSION where UPPER(MODULE)=:MODULE")});
    q.paramByName(QStringLiteral("MODULE")).setAsString(module);
    q.open();
    const bool stored = !q.eof();
    q.close();
    SetStatement(q, stored ? QStringList{QStringLiteral("update VERSION set VERSION=:VERSION"),
                                         QStringLiteral("where UPPER(MODULE) = :MODULE")}
                           : QStringList{QStringLiteral("insert into VERSION(MODULE,VERSION)"),
                                         QStringLiteral("values(:MODULE,:VERSION)")});
    q.paramByName(QStringLiteral("MODULE")).setAsString(module);
    q.paramByName(QStringLiteral("VERSION")).setAsInteger(m_version);
    q.execSql();
    TDBAccess::IncCacheVersion(database, module + QLatin1Char('#') + QString::number(m_version));
}
