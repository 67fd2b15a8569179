// The kernel access component of a benchmark, on a kernel database file made by the benchmark.
#pragma once

#include <kernel/dbaccess.h>
#include <platform/db/database.h>
#include <platform/db/sqlquery.h>
#include <support/kernel_schema.h>

#include <QString>

// Opens `db` on the database file in `folder` and sets `access` on it with its three metadata
// queries; the caller sets what else it needs and loads the description.
inline void wireKernelAccess(const QString& folder, Database& db, SqlQuery& tables,
                             SqlQuery& fields, SqlQuery& links, TDBAccess& access)
{
    db.setDriverName(QStringLiteral("STANDARD"));
    db.params().setValue(DbParam::Path, folder);
    db.open();
    for (SqlQuery* q : {&tables, &fields, &links})
        q->setDatabase(&db);
    tables.setSql(QString::fromLatin1(kernelschema::SelectTables));
    fields.setSql(QString::fromLatin1(kernelschema::SelectFields));
    links.setSql(QString::fromLatin1(kernelschema::SelectLinks));
    access.SetDataBase(&db);
    access.SetTables(&tables);
    access.SetFields(&fields);
    access.SetLinks(&links);
}
