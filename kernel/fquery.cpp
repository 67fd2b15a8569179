// The switchable cached query.
#include "fquery.h"

#include <kernel/krnproc.h>
#include <platform/db/database.h>

TQueryFake::TQueryFake(QObject* parent) : SqlQuery(parent)
{
}

TQueryFake::~TQueryFake()
{
    m_destroying = true;
    try {
        SetCached(false);
    } catch (const std::exception&) {
        // Nothing is left to tell: the query is going.
    }
}

void TQueryFake::SetCached(bool value)
{
    if (m_reading)
        DBKernelError(QStringLiteral("Error in TFakeQuery!"));
    if (value == GetCached())
        return;
    if (!value) {
        if (m_destroying) {
            // Whoever handles the close may be gone already.
            beforeClose = nullptr;
            afterClose = nullptr;
        }
        close();
        return;
    }
    open();
    NotifyEvent before = std::exchange(beforeScroll, nullptr);
    NotifyEvent after = std::exchange(afterScroll, nullptr);
    struct Reattach
    {
        TQueryFake& query;
        NotifyEvent& before;
        NotifyEvent& after;
        ~Reattach()
        {
            query.beforeScroll = std::move(before);
            query.afterScroll = std::move(after);
        }
    } reattach{*this, before, after};
    last();
    first();
}

QString TQueryFake::DatabaseName() const
{
    if (!m_databaseName.isEmpty() || !database())
        return m_databaseName;
    return database()->databaseName();
}
