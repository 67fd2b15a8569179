// Helpers shared by the dataset tests: a small in-memory table, an event recorder and an
// observer that counts what it is told.
#pragma once

#include <platform/data/memdataset.h>

#include <support/qt_printers.h>
#include <support/workspace.h>

#include <QStringList>

#include <memory>

namespace testdata {

// ID integer, NAME string 20, QTY float; rows given as (id, name, qty).
struct Item
{
    int id;
    QString name;
    double qty;
};

inline std::unique_ptr<MemDataSet> makeItems(const QList<Item>& items)
{
    auto ds = std::make_unique<MemDataSet>();
    ds->setObjectName(QStringLiteral("items"));
    ds->fieldDefs().add(QStringLiteral("ID"), FieldType::Integer, 0, true);
    ds->fieldDefs().add(QStringLiteral("NAME"), FieldType::String, 20);
    ds->fieldDefs().add(QStringLiteral("QTY"), FieldType::Float);
    ds->createDataSet();
    for (const Item& it : items)
        ds->appendRecord({it.id, it.name, it.qty});
    ds->first();
    return ds;
}

// The values of one field over all visible records, in the current order, from the first.
inline QStringList column(DataSet& ds, const QString& field)
{
    QStringList out;
    ds.first();
    while (!ds.eof()) {
        out.append(ds.fieldByName(field)->asString());
        ds.next();
    }
    return out;
}

// What FindKey finds: the named field of the record found, "-" when no record has the key.
inline QString found(IndexedDataSet& ds, const VariantList& key, const QString& field = "ID")
{
    return ds.findKey(key) ? ds.fieldByName(field)->asString() : QStringLiteral("-");
}

// Records the dataset events by name, in order.
struct EventLog
{
    QStringList events;

    void attach(DataSet& ds)
    {
        using E = DataSet;
        const std::pair<DataSet::NotifyEvent DataSet::*, const char*> hooks[] = {
            {&E::beforeOpen, "BeforeOpen"},     {&E::afterOpen, "AfterOpen"},
            {&E::beforeClose, "BeforeClose"},   {&E::afterClose, "AfterClose"},
            {&E::beforeInsert, "BeforeInsert"}, {&E::afterInsert, "AfterInsert"},
            {&E::beforeEdit, "BeforeEdit"},     {&E::afterEdit, "AfterEdit"},
            {&E::beforePost, "BeforePost"},     {&E::afterPost, "AfterPost"},
            {&E::beforeCancel, "BeforeCancel"}, {&E::afterCancel, "AfterCancel"},
            {&E::beforeDelete, "BeforeDelete"}, {&E::afterDelete, "AfterDelete"},
            {&E::beforeScroll, "BeforeScroll"}, {&E::afterScroll, "AfterScroll"},
            {&E::onNewRecord, "OnNewRecord"}};
        for (const auto& entry : hooks) {
            const char* name = entry.second;
            ds.*(entry.first) = [this, name](DataSet&) {
                events.append(QString::fromLatin1(name));
            };
        }
    }
    QStringList take()
    {
        QStringList out = events;
        events.clear();
        return out;
    }
};

struct CountingObserver : DataSetObserver
{
    int changed = 0, records = 0, states = 0, scrolls = 0;
    void dataSetChanged(DataSet&) override { ++changed; }
    void recordChanged(DataSet&, Field*) override { ++records; }
    void stateChanged(DataSet&) override { ++states; }
    void scrolled(DataSet&) override { ++scrolls; }
};

} // namespace testdata
