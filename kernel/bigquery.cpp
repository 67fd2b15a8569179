// The large-parameter query and its parameter copies.
#include "bigquery.h"

#include <kernel/krnproc.h>
#include <platform/db/database.h>
#include <platform/db/driver.h>

namespace {

void appendCopy(Params& dest, const Param& p)
{
    Param& added = dest.add(p.name(), p.dataType(), p.paramType());
    if (!p.value().isUnassigned())
        added.setValue(p.value());
}

QStringList sqlLines(const QString& sql)
{
    return sql.isEmpty() ? QStringList() : sql.split(QLatin1Char('\n'));
}

} // namespace

// ---- TBigParams ------------------------------------------------------------------------------

void TBigParams::Assign(const Params& source)
{
    Clear();
    m_collection.clear();
    for (const Param& p : source)
        m_list.append(p);
}

void TBigParams::Assign(const TBigParams& source)
{
    if (&source == this)
        return;
    Clear();
    m_collection.clear();
    m_list = source.m_list;
}

void TBigParams::AssignTo(Params& dest) const
{
    dest.clear();
    for (const Param& p : m_list)
        appendCopy(dest, p);
}

void TBigParams::Clear()
{
    m_list.clear();
}

void TBigParams::ReadBigData(QByteArrayView bytes)
{
    Clear();
    m_list = TComponentReader::ReadBigData(bytes);
}

// ---- TBigQuery -------------------------------------------------------------------------------

TBigQuery::TBigQuery(QObject* parent) : TQueryFake(parent)
{
}

void TBigQuery::WriteState(TComponentWriter& writer)
{
    m_bigParams.Assign(params());
    params().clear();
    // The parameters come back whatever the writing does.
    struct Restore
    {
        TBigQuery& query;
        ~Restore()
        {
            query.m_bigParams.AssignTo(query.params());
            query.m_bigParams.Clear();
        }
    } restore{*this};

    TStreamedComponent c;
    c.ClassName = QLatin1String(ClassName);
    c.Name = objectName();
    c.DatabaseName = DatabaseName();
    c.SQL = sqlLines(sql());
    c.BigData = m_bigParams.List();
    writer.WriteComponent(c);
}

void TBigQuery::ReadState(TComponentReader& reader)
{
    TStreamedComponent c = reader.ReadComponent();
    if (c.ClassName != QLatin1String(ClassName)) {
        DBKernelError(QStringLiteral("The application server request holds a %1 where a %2 was "
                                     "expected.")
                          .arg(c.ClassName, QLatin1String(ClassName)));
    }
    const ReadingScope reading(*this);
    // Setting the text closes the query first: its close handlers run while it is being read.
    setSql(c.SQL.join(QLatin1Char('\n')));
    setObjectName(c.Name);
    SetDatabaseName(c.DatabaseName);
    m_bigParams.Clear();
    m_bigParams.m_list = std::move(c.BigData);
    if (m_bigParams.HasBigData()) {
        m_bigParams.AssignTo(params());
        m_bigParams.Clear();
    }
}

// ---- a select

QByteArray SelectRequest(const SqlQuery& query)
{
    TStreamedComponent c;
    c.ClassName = QStringLiteral("TQuery");
    c.Name = query.objectName();
    c.DatabaseName = query.database() ? query.database()->databaseName() : QString();
    c.SQL = sqlLines(query.sql());
    c.Parameters = query.params();
    TComponentWriter writer;
    writer.WriteComponent(c);
    return writer.Bytes();
}
