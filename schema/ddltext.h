// The DDL texts of the structure tools per server kind (1 MS SQL Server, 2 Oracle, 3 the local
// kind): column types and definitions, the creation statement of a table and the statements of
// its indexes. Pure functions of the kind and the structure. A name the kind cannot take as it
// stands is written quoted (SqlName).
#pragma once

#include <schema/tablestruct.h>

#include <QString>
#include <QStringList>

// The column type of a kernel data type; empty for dtUnknown and for kind 0. `size` is the string
// length or numeric precision, `precision` the numeric scale.
QString ColumnTypeText(ServerKind::Kind serverKind, TDataType type, int size, int precision,
                       bool booleanAsChar);
// " NAME TYPE" with " NOT " (required) and " NULL " on the servers, " NAME TYPE " on the local
// kind.
QString ColumnDefinition(ServerKind::Kind serverKind, const TFieldItem& field, bool booleanAsChar);
// "create table NAME(", one line per field, the local kind's key line, ")".
QStringList CreateTableLines(ServerKind::Kind serverKind, const TTableStruct& table,
                             bool booleanAsChar);
// The statement that creates the index item under `indexName` on the servers: the primary-key
// constraint or "create [unique] [clustered] index".
QString CreateIndexText(ServerKind::Kind serverKind, const QString& tableName,
                        const TIndexItem& item, const QString& indexName);
// The local kind's field list of an index ("A;B") from the item's comma list.
QString LocalIndexFields(const QString& indexFields);
