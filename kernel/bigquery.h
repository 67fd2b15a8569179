// Large parameters that travel inside a query's own component stream: TBigParams keeps copies of
// a query's parameters and streams them as the binary property "BigData"; TBigQuery is the query
// that sends them so. Each statement of an update batch goes to the application server as one
// TBigQuery (appserver.h), a select as a plain query component (SelectRequest). The formats are
// in compstream.h.
#pragma once

#include <kernel/compstream.h>
#include <kernel/fquery.h>

// A parameter collection (normally empty) with a private list of parameter copies, which is
// what "BigData" carries.
class TBigParams
{
public:
    Params& Collection() { return m_collection; }
    const Params& Collection() const { return m_collection; }
    const QList<Param>& List() const { return m_list; }

    // Empties itself, takes the parameters of `source` and moves them into the private list as
    // copies; the collection is left empty.
    void Assign(const Params& source);
    void Assign(const TBigParams& source);
    // To another TBigParams by its Assign; to plain parameters by copying the private list into
    // them (they lose the parameters they had).
    void AssignTo(TBigParams& dest) const { dest.Assign(*this); }
    void AssignTo(Params& dest) const;
    void Clear();

    // The "BigData" property: written only when the private list holds a parameter. Reading
    // empties the list first; a damaged block raises EDBKernelError and leaves the list empty.
    bool HasBigData() const { return !m_list.isEmpty(); }
    QByteArray WriteBigData() const { return TComponentWriter::WriteBigData(m_list); }
    void ReadBigData(QByteArrayView bytes);

private:
    friend class TBigQuery;
    Params m_collection;
    QList<Param> m_list;
};

class TBigQuery : public TQueryFake
{
    Q_OBJECT
public:
    static constexpr const char* ClassName = "TBigQuery";

    explicit TBigQuery(QObject* parent = nullptr);

    TBigParams& BigParams() { return m_bigParams; }

    // Writes the query as one component resource: its parameters move into BigParams (the query
    // keeps none while it is written, so they go out as "BigData") and come back afterwards.
    void WriteState(TComponentWriter& writer);
    // Reads the next component resource of the reader into the query: its name, database name,
    // SQL text and parameters. A resource of another class, or a damaged one, raises
    // EDBKernelError and leaves the query as it was.
    void ReadState(TComponentReader& reader);

private:
    TBigParams m_bigParams;
};

// The request file of a select: the query (its SQL text, its parameters with their values and the
// name of its database) as one "TQuery" component resource.
QByteArray SelectRequest(const SqlQuery& query);
