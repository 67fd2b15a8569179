// The driver registry and the parts of the driver interface that every driver shares.
#include "driver.h"

#include <platform/db/sqlitedriver.h>

#include <vector>

namespace {

std::vector<std::unique_ptr<DbDriver>>& drivers()
{
    static std::vector<std::unique_ptr<DbDriver>> list = [] {
        std::vector<std::unique_ptr<DbDriver>> l;
        l.push_back(sqlitedb::makeDriver());
        return l;
    }();
    return list;
}

} // namespace

void DbStatement::checkParameterIndex(int index) const
{
    if (index < 0 || index >= parameterCount())
        throw EngineError(EngineCode::InvalidRequest,
                          QStringLiteral("Parameter %1 out of range (the statement has %2)")
                              .arg(index + 1)
                              .arg(parameterCount()));
}

void DbStatement::bindAll(std::span<const Variant> values)
{
    for (size_t i = 0; i < values.size(); ++i)
        bind(int(i), values[i]);
}

void DbStatement::bindOutput(int index, const Variant&, FieldType, ParamType)
{
    checkParameterIndex(index);
    throw EngineError(EngineCode::InvalidRequest,
                      QStringLiteral("The database driver has no output parameters"));
}

Variant DbStatement::outputValue(int) const
{
    return Variant::null();
}

void DbStatement::readColumns(std::span<const ColumnRead> columns, RecordSink& sink) const
{
    for (const ColumnRead& c : columns)
        sink.setValue(c.field, columnValue(c.column, c.type));
}

qint64 DbConnection::execute(const QString& sql)
{
    std::unique_ptr<DbStatement> st = prepare(sql);
    while (st->step()) {
    }
    return st->rowsAffected();
}

DbDriver* DbDriver::find(const QString& name)
{
    for (const auto& d : drivers()) {
        if (d->name() == name)
            return d.get();
    }
    return nullptr;
}

void DbDriver::registerDriver(std::unique_ptr<DbDriver> driver)
{
    auto& list = drivers();
    for (auto& d : list) {
        if (d->name() == driver->name()) {
            d = std::move(driver);
            return;
        }
    }
    list.push_back(std::move(driver));
}
