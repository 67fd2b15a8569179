// The table helpers every part of the workstation uses on the shared cursors: the guarded post
// and the table actions that retry while another program holds the table, a bounded number of
// times.
#include "tablehelpers.h"

#include "datatables.h"

#include <app/apperror.h>
#include <platform/data/field.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlname.h>
#include <platform/dialogs.h>
#include <platform/exception.h>
#include <platform/support/logfile.h>
#include <platform/ui/forms.h>

#include <QThread>

namespace {

bool isBusy(const EngineError& e)
{
    return e.errorCode() == EngineCode::Locked;
}

// Runs `action`, repeating it while the table is busy; the last busy error goes to the caller.
template <typename F> auto retryWhileBusy(F action)
{
    for (int attempt = 1;; ++attempt) {
        try {
            return action();
        } catch (const EngineError& e) {
            if (!isBusy(e) || attempt >= BusyTries)
                throw;
        }
        QThread::msleep(BusyPauseMs);
    }
}

} // namespace

QString FieldText(const DataSet& Table, const char* Name)
{
    return Table.fieldByName(QLatin1String(Name))->asString();
}

int FieldInt(const DataSet& Table, const char* Name)
{
    return int(Table.fieldByName(QLatin1String(Name))->asInteger());
}

bool FlushTable(LocalTable& Table, const QString& Message)
{
    if (Table.state() != DataSet::State::Edit && Table.state() != DataSet::State::Insert)
        return false;
    try {
        Table.post();
        Table.flushBuffers();
        return true;
    } catch (const std::exception& e) {
        try {
            Table.cancel();
        } catch (const std::exception&) {
            // The record is dropped with its table; the first error is the one to report.
        }
        if (Message.isEmpty()) {
            AppException(&Table, e);
            WriteToLog(QStringLiteral("DB! SAFEPOST: ") + Table.tableName());
        } else {
            setScreenCursor(crDefault);
            dialogService().messageDlg(Message, mtError, mbOK);
        }
        return false;
    }
}

void TableAction(LocalTable& Table, int Action)
{
    retryWhileBusy([&] {
        switch (Action) {
        case 0:
            Table.open();
            Table.refresh();
            break;
        case 1:
            FlushTable(Table, QString());
            Table.close();
            break;
        case 2:
            Table.refresh();
            break;
        default:
            Q_ASSERT_X(false, "TableAction", "unknown action");
        }
    });
}

bool TableActionGuarded(LocalTable& Table, const VariantList& Keys)
{
    TableAction(Table, 2);
    return retryWhileBusy([&] { return Table.findKey(Keys); });
}

int NextKeyValue(const LocalTable& Table, const QString& Field)
{
    auto st =
        ConnectionOf(Table).prepare(QStringLiteral("SELECT max(%1) FROM %2")
                                        .arg(quoteSqlName(Field), quoteSqlName(Table.tableName())));
    if (!st->step())
        return 1;
    const Variant highest = st->columnValue(0);
    return highest.isEmpty() ? 1 : highest.toInt() + 1;
}

void InTransaction(Database& Db, const std::function<void()>& Work)
{
    if (Db.inTransaction()) {
        Work();
        return;
    }
    Db.startTransaction();
    try {
        Work();
        Db.commit();
    } catch (...) {
        RollbackQuietly(Db);
        throw;
    }
}

void RollbackQuietly(Database& Db)
{
    try {
        if (Db.inTransaction())
            Db.rollback();
    } catch (const std::exception&) {
        // The caller reports the error that brought it here.
    }
}
