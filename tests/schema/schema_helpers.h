// Helpers of the schema tests: a kernel database with the tables the schema tools write, a
// version on it for one server kind (MS SQL Server and Oracle through the recording driver over
// the same SQLite file), structures built in a line each, and the statements the server was sent.
#pragma once

#include <kernel/dbaccess.h>
#include <platform/db/sqlquery.h>
#include <schema/tablestruct.h>

#include <support/kernel_db.h>

#include <memory>

namespace schematest {

class SchemaDb
{
public:
    // The local kind (3) runs on SQLite through a recording driver too.
    explicit SchemaDb(quint8 kind = 3);
    ~SchemaDb();

    // A structure of the version, as a module would describe it.
    std::unique_ptr<TTableStruct> table(const QString& name, TUpgradeAction action = uaCreate);
    // The first lines of the statements recorded since `from`.
    QStringList firstLines(qsizetype from = 0) const;
    // The DDL among them (statements that begin with create, alter, drop, grant, exec or
    // "if exists"): each statement's lines and a line "go".
    QStringList ddl(qsizetype from = 0) const;
    // The lines of the last statement sent whose first line is `firstLine` (empty when none).
    QStringList sent(const QString& firstLine) const;
    // Answers a catalogue query with the rows of a SQLite select.
    void answer(const QString& query, const QString& select) { recorder->standIns[query] = select; }
    QStringList rows(const QString& sql) const { return kernel.rows(sql); }

    krntest::KernelDb kernel;
    std::shared_ptr<krntest::Recorder> recorder = std::make_shared<krntest::Recorder>();
    Database db;
    TDBVersion version;
};

// An access component on the database, its metadata read through plain queries, loaded.
struct AccessOn
{
    explicit AccessOn(Database& db);
    SqlQuery tables, fields, links;
    TDBAccess access;
};

// A golden file of tests/data/schema, written by hand, as its lines.
QStringList golden(const QString& name);

TFieldItem* addField(TTableStruct& s, const QString& name, TDataType type, int size = 0,
                     TFieldOptions options = {});
TIndexItem* addIndex(TTableStruct& s, const QString& name, const QString& fields,
                     TIndexStructOptions options = {});
// A field item that alters the column (giving it a new name when `newName` is set).
TFieldItem* alterField(TTableStruct& s, const QString& name, TDataType type, int size = 0,
                       const QString& newName = {});
// The structure loaded into a new engine of a version upgrade and saved; the first lines of the
// statements the save sent.
QStringList saveStructure(SchemaDb& d, TTableStruct& s);
// The rows of a dataset in its order: the named fields joined by "|", Booleans as 1 or 0.
QStringList rowsOf(DataSet& d, const QStringList& fields);

TLinkItem* addLink(TTableStruct& s, const QString& master, const QString& refFields,
                   const QString& keyFields, TDeleteAction action);

} // namespace schematest
