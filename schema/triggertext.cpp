// The trigger scripts, line by line, for MS SQL Server and Oracle.
#include "triggertext.h"
#include "sqlnames.h"

#include <kernel/dbaccess.h>

#include <QRegularExpression>

#include <functional>

namespace {

const QString Nine(9, QLatin1Char(' '));

// A name in the statements of each server; the texts of messages and table-name values keep the
// names as they are.
QString ms(const QString& name)
{
    return SqlName(name, ServerKind::MSSQL);
}

QString ora(const QString& name)
{
    return SqlName(name, ServerKind::Oracle);
}

constexpr int MssqlNoParent = 50001;
constexpr int MssqlHasChildren = 50002;
constexpr int OracleHasChildren = -20001;
constexpr int OracleNoParent = -20002;

int pairCount(const TTriggerLink& link)
{
    return int(qMax(link.KeyFields.size(), link.RefFields.size()));
}

// One condition line per column pair: `first` or `next` before the pair's text, `close` after the
// last line.
QStringList conditions(const TTriggerLink& link, const QString& first, const QString& next,
                       const std::function<QString(const QString& key, const QString& ref)>& text,
                       const QString& close = QString())
{
    QStringList lines;
    const int count = pairCount(link);
    for (int i = 0; i < count; ++i)
        lines.append((i == 0 ? first : next) +
                     text(link.KeyFields.value(i), link.RefFields.value(i)));
    if (!lines.isEmpty())
        lines.last() += close;
    return lines;
}

// "set C.R1 = NULL,C.R2 = NULL".
QString setNullLine(const TTriggerLink& link, ServerKind::Kind kind)
{
    QStringList parts;
    for (int i = 0; i < pairCount(link); ++i)
        parts.append(SqlName(link.Child, kind) + QLatin1Char('.') +
                     SqlName(link.RefFields.value(i), kind) + QStringLiteral(" = NULL"));
    return QStringLiteral("set ") + parts.join(QLatin1Char(','));
}

// The table's declarations after the trigger's own: the last declaration gets its comma.
void appendMssqlHead(QStringList& lines, const QStringList& head)
{
    if (head.isEmpty())
        return;
    lines.last() += QLatin1Char(',');
    for (const QString& line : head)
        lines.append(Nine + line);
}

void appendIndented(QStringList& lines, const QStringList& head)
{
    for (const QString& line : head)
        lines.append(Nine + line);
}

void appendBody(QStringList& lines, const QStringList& body)
{
    if (body.isEmpty())
        return;
    lines.append(QString());
    lines += body;
    lines.append(QString());
}

// Current servers accept an integrity error only by THROW, which needs the statement before it
// ended by ";".
void appendMssqlTail(QStringList& lines)
{
    lines << QStringLiteral("return;") << QStringLiteral("error:")
          << QStringLiteral("  THROW @ERRNO, @ERRMSG, 1;")
          << QStringLiteral("  rollback transaction") << QStringLiteral("end");
}

bool isOptional(const TTriggerLink& link, const QStringList& requiredFields)
{
    for (const QString& ref : link.RefFields) {
        if (requiredFields.contains(ref, Qt::CaseInsensitive))
            return false;
    }
    return true;
}

// The jump to the error exit of an MS SQL Server trigger: the delete checks write their number
// with two blanks before "=", the insert check with one.
QStringList mssqlError(const char* assignment, int number, const QString& message)
{
    return {QStringLiteral("begin"), QString::fromLatin1(assignment).arg(number),
            QStringLiteral("  @errmsg = '%1'").arg(message), QStringLiteral("  goto error"),
            QStringLiteral("end")};
}

QString cannotDelete(const QString& table, const QString& other)
{
    return QStringLiteral("Cannot DELETE %1 because %2 exists.").arg(table, other);
}

// An Oracle check's failure: the error, its message and the end of the check.
QStringList oracleError(int number, const QString& message)
{
    return {QStringLiteral("  raise_application_error(%1, '%2');")
                .arg(QString::number(number), message),
            QStringLiteral("end if;")};
}

// `key` is the key column expression as the statement writes it.
QString trace(const QString& table, const QString& key, const char* action, const char* from)
{
    return QStringLiteral("select '%1', %2, '%3' from %4")
        .arg(table, key, QLatin1String(action), QLatin1String(from));
}

// The REC_VERSION rows of the changed rows get a new version (and, with `set`, more).
QStringList recVersionUpdate(const QString& set, const QString& t, const QString& key)
{
    return {QStringLiteral("update REC_VERSION set VERSION_GUID = NEWID()") + set,
            QStringLiteral("from REC_VERSION,deleted"),
            QStringLiteral("where REC_VERSION.TABLE_NAME = '%1' and  deleted.%2 = "
                           "REC_VERSION.UNIREC_ID")
                .arg(t, SqlNameList(key, ServerKind::MSSQL))};
}

const QString TraceInsert = QStringLiteral("insert into KRN_SYS_TRACE(TABLE_NAME,REC_ID,ACTION)");

// ---- MS SQL Server

QStringList mssqlUpdate(const QString& t, const TTriggerTexts& texts)
{
    QStringList lines{QStringLiteral("create trigger %1 on %2 for UPDATE as")
                          .arg(ms(QStringLiteral("tU_") + t), ms(t)),
                      QStringLiteral("begin"), QStringLiteral("declare  @errno   int,"),
                      QStringLiteral("         @errmsg  varchar(255)")};
    appendMssqlHead(lines, texts.Head);
    appendBody(lines, texts.Body);
    if (texts.Repl)
        lines << QString() << recVersionUpdate(QString(), t, texts.KeyFields) << QString();
    if (texts.Trace)
        lines << QString() << TraceInsert
              << trace(t, SqlNameList(texts.KeyFields, ServerKind::MSSQL), "U", "deleted")
              << QString();
    appendMssqlTail(lines);
    return lines;
}

QStringList mssqlInsertCheck(const QString& t, const TTriggerLink& link, bool optional)
{
    const QString p = ms(link.Parent);
    QStringList lines{QStringLiteral("select @validcnt = count(*) from inserted,") + p};
    lines += conditions(link, QStringLiteral("where "), QStringLiteral("  and "),
                        [&p](const QString& k, const QString& r) {
                            return QStringLiteral("inserted.%1 = %2.%3").arg(ms(r), p, ms(k));
                        });
    if (optional) {
        lines.append(QStringLiteral("select @nullcnt = count(*) from inserted"));
        lines += conditions(link, QStringLiteral("where "), QStringLiteral("  and "),
                            [](const QString&, const QString& r) {
                                return QStringLiteral("inserted.%1 is null").arg(ms(r));
                            });
    } else {
        lines.append(QStringLiteral("select @nullcnt = 0"));
    }
    lines << QStringLiteral("if @validcnt + @nullcnt != @numrows");
    return lines +
           mssqlError(
               "  select @errno = %1,", MssqlNoParent,
               QStringLiteral("Cannot INSERT %1 because %2 does not exist.").arg(t, link.Parent));
}

QStringList mssqlInsertHead(const QString& t, const TTriggerTexts& texts)
{
    QStringList lines{QStringLiteral("create trigger %1 on %2 for INSERT as")
                          .arg(ms(QStringLiteral("tI_") + t), ms(t)),
                      QStringLiteral("begin"),
                      QStringLiteral("declare  @numrows int,"),
                      QStringLiteral("         @nullcnt int,"),
                      QStringLiteral("         @validcnt int,"),
                      QStringLiteral("         @errno   int,"),
                      QStringLiteral("         @errmsg  varchar(255)")};
    appendMssqlHead(lines, texts.Head);
    lines << QStringLiteral("select @numrows = @@rowcount")
          << QStringLiteral("select @nullcnt = 0");
    appendBody(lines, texts.Body);
    return lines;
}

void appendMssqlInsertTail(QStringList& lines, const QString& t, const TTriggerTexts& texts,
                           bool hasPatientsId)
{
    if (texts.Repl) {
        lines.append(QString());
        if (hasPatientsId)
            lines << QStringLiteral("insert REC_VERSION(TABLE_NAME,UNIREC_ID,REC_GUID,VERSION_GUID,"
                                    "ISDELETED,PATIENTS_ID)")
                  << QStringLiteral("select '%1',%2,NEWID(),NEWID(),0,PATIENTS_ID from inserted")
                         .arg(t, SqlNameList(texts.KeyFields, ServerKind::MSSQL));
        else
            lines << QStringLiteral("insert REC_VERSION(TABLE_NAME,UNIREC_ID,REC_GUID,VERSION_GUID,"
                                    "ISDELETED)")
                  << QStringLiteral("select '%1',%2,NEWID(),NEWID(),0 from inserted")
                         .arg(t, SqlNameList(texts.KeyFields, ServerKind::MSSQL));
        lines.append(QString());
    }
    appendMssqlTail(lines);
}

QStringList mssqlNoDeleteCheck(const TTriggerLink& link)
{
    const QString p = ms(link.Parent);
    QStringList lines{QStringLiteral("if exists("), QStringLiteral("  select * from deleted,") + p};
    lines += conditions(
        link, QStringLiteral("  where "), QStringLiteral(" and "),
        [&p](const QString& k, const QString& r) {
            return QStringLiteral("deleted.%1 = %2.%3").arg(ms(r), p, ms(k));
        },
        QStringLiteral(")"));
    return lines + mssqlError("  select @errno  = %1,", MssqlHasChildren,
                              cannotDelete(link.Child, link.Parent))
           << QString();
}

QStringList mssqlDeleteAction(const TTriggerLink& link)
{
    const QString c = ms(link.Child);
    const auto joinText = [&c](const QString& k, const QString& r) {
        return QStringLiteral("deleted.%1 = %2.%3").arg(ms(k), c, ms(r));
    };
    const QString action = link.DeleteAction.left(1);
    QStringList lines;
    if (action == QLatin1String("C")) {
        lines << QStringLiteral("delete ") + c << QStringLiteral("from deleted, ") + c;
        lines += conditions(link, QStringLiteral("where "), QStringLiteral("  and "), joinText);
    } else if (action == QLatin1String("R")) {
        lines << QStringLiteral("if exists(") << QStringLiteral("  select * from deleted,") + c;
        lines += conditions(link, QStringLiteral("  where "), QStringLiteral("    and "), joinText,
                            QStringLiteral(")"));
        lines += mssqlError("  select @errno  = %1,", MssqlHasChildren,
                            cannotDelete(link.Parent, link.Child));
    } else if (action == QLatin1String("N") || action == QLatin1String("X")) {
        lines << QStringLiteral("update ") + c << setNullLine(link, ServerKind::MSSQL)
              << QStringLiteral("from deleted, ") + c;
        lines += conditions(link, QStringLiteral("where "), QStringLiteral("  and "), joinText);
    }
    return lines;
}

// ---- Oracle

QStringList oracleInsertCheck(const QString& t, const TTriggerLink& link, bool optional)
{
    const QString p = ora(link.Parent);
    QStringList lines{QStringLiteral("select count(*) into numrows from ") + p};
    lines += conditions(
        link, QStringLiteral("where "), QStringLiteral("  and "),
        [&p](const QString& k, const QString& r) {
            return QStringLiteral(":new.%1 = %2.%3").arg(ora(r), p, ora(k));
        },
        QStringLiteral(";"));
    lines.append(QStringLiteral("if numrows = 0"));
    if (optional) {
        for (const QString& r : link.RefFields)
            lines.append(QStringLiteral("and :new.%1 is not null").arg(ora(r)));
    }
    lines.append(QStringLiteral("then"));
    return lines +
           oracleError(
               OracleNoParent,
               QStringLiteral("Cannot INSERT %1 because %2 does not exist.").arg(t, link.Parent));
}

QStringList oracleNoDeleteCheck(const TTriggerLink& link)
{
    QStringList lines{QStringLiteral("select count(*) into numrows from ") + ora(link.Parent)};
    lines += conditions(
        link, QStringLiteral("where "), QStringLiteral(" and "),
        [](const QString& k, const QString& r) {
            return QStringLiteral(":old.%1 = %2").arg(ora(r), ora(k));
        },
        QStringLiteral(";"));
    lines.append(QStringLiteral("if (numrows > 0) then"));
    return lines + oracleError(OracleHasChildren, cannotDelete(link.Child, link.Parent));
}

QStringList oracleDeleteAction(const TTriggerLink& link)
{
    const QString c = ora(link.Child);
    const auto joinText = [&c](const QString& k, const QString& r) {
        return QStringLiteral(":old.%1 = %2.%3").arg(ora(k), c, ora(r));
    };
    const QString action = link.DeleteAction.left(1);
    const QString semicolon = QStringLiteral(";");
    QStringList lines;
    if (action == QLatin1String("C")) {
        lines << QStringLiteral("delete from ") + c;
        lines += conditions(link, QStringLiteral("where "), QStringLiteral("  and "), joinText,
                            semicolon);
    } else if (action == QLatin1String("R")) {
        lines << QStringLiteral("select count(*) into numrows from ") + c;
        lines +=
            conditions(link, QStringLiteral("where "), QStringLiteral("and "), joinText, semicolon);
        lines.append(QStringLiteral("if (numrows > 0) then"));
        lines += oracleError(OracleHasChildren, cannotDelete(link.Parent, link.Child));
    } else if (action == QLatin1String("N") || action == QLatin1String("X")) {
        lines << QStringLiteral("update ") + c << setNullLine(link, ServerKind::Oracle);
        lines += conditions(link, QStringLiteral("where "), QStringLiteral("  and "), joinText,
                            semicolon);
    }
    return lines;
}

} // namespace

QStringList CleanTriggerText(const QString& text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines;
    for (const QString& line : text.split(breaks)) {
        if (!line.trimmed().isEmpty())
            lines.append(line);
    }
    return lines;
}

QStringList UpdateTriggerLines(ServerKind::Kind kind, const QString& t, const TTriggerTexts& texts)
{
    const bool contributes = !texts.Head.isEmpty() || !texts.Body.isEmpty() || texts.Trace ||
                             (kind == ServerKind::MSSQL && texts.Repl);
    if (!contributes)
        return {};
    if (kind == ServerKind::MSSQL)
        return mssqlUpdate(t, texts);
    QStringList lines{QStringLiteral("create or replace trigger %1 after update on %2 for each row")
                          .arg(ora(QStringLiteral("tU_") + t), ora(t))};
    lines += texts.Head;
    lines.append(QStringLiteral("begin"));
    appendBody(lines, texts.Body);
    if (texts.Trace)
        lines << TraceInsert
              << trace(t, QStringLiteral(":new.") + SqlNameList(texts.KeyFields, kind), "U", "DUAL")
              << QString();
    lines.append(QStringLiteral("end;"));
    return lines;
}

QStringList InsertTriggerLines(ServerKind::Kind kind, const QString& t, const TTriggerTexts& texts,
                               const QList<TTriggerLink>& links, const QStringList& requiredFields,
                               bool hasPatientsId, bool ownContent)
{
    if (links.isEmpty() && !ownContent)
        return {};
    QStringList lines;
    if (kind == ServerKind::MSSQL) {
        lines = mssqlInsertHead(t, texts);
    } else {
        lines << QStringLiteral("create or replace trigger %1  after INSERT on %2 for each row")
                     .arg(ora(QStringLiteral("tI_") + t), ora(t))
              << QStringLiteral("declare  numrows integer;");
        appendIndented(lines, texts.Head);
        lines.append(QStringLiteral("begin"));
        appendBody(lines, texts.Body);
    }
    for (const TTriggerLink& link : links) {
        const bool optional = isOptional(link, requiredFields);
        lines += kind == ServerKind::MSSQL ? mssqlInsertCheck(t, link, optional)
                                           : oracleInsertCheck(t, link, optional);
        lines.append(QString());
    }
    if (kind == ServerKind::MSSQL)
        appendMssqlInsertTail(lines, t, texts, hasPatientsId);
    else
        lines.append(QStringLiteral("end;"));
    return lines;
}

QStringList DeleteTriggerLines(ServerKind::Kind kind, const QString& t, const TTriggerTexts& texts,
                               const QList<TTriggerLink>& noDeleteChecks,
                               const QList<TTriggerLink>& children, bool ownContent)
{
    // Tracing alone is reason enough for the trigger: it is what records the deletes.
    if (noDeleteChecks.isEmpty() && children.isEmpty() && !ownContent && !texts.Trace)
        return {};
    QStringList lines;
    if (kind == ServerKind::MSSQL) {
        lines << QStringLiteral("create trigger %1 on %2 for DELETE as")
                     .arg(ms(QStringLiteral("tD_") + t), ms(t))
              << QStringLiteral("begin") << QStringLiteral("declare  @errno   int,")
              << QStringLiteral("         @errmsg  varchar(255)");
        appendMssqlHead(lines, texts.Head);
        lines.append(QStringLiteral("if @@rowcount = 0 return"));
        for (const TTriggerLink& link : noDeleteChecks)
            lines += mssqlNoDeleteCheck(link);
    } else {
        lines << QStringLiteral("create or replace trigger %1 after delete on %2 for each row")
                     .arg(ora(QStringLiteral("tD_") + t), ora(t))
              << QStringLiteral("declare numrows INTEGER;");
        appendIndented(lines, texts.Head);
        lines.append(QStringLiteral("begin"));
        for (const TTriggerLink& link : noDeleteChecks)
            lines += oracleNoDeleteCheck(link);
    }
    appendBody(lines, texts.Body);
    for (const TTriggerLink& link : children) {
        lines += kind == ServerKind::MSSQL ? mssqlDeleteAction(link) : oracleDeleteAction(link);
        lines.append(QString());
    }
    if (kind == ServerKind::MSSQL) {
        if (texts.Repl)
            lines << recVersionUpdate(QStringLiteral(",ISDELETED = 1"), t, texts.KeyFields)
                  << QString();
        if (texts.Trace)
            lines << TraceInsert << trace(t, SqlNameList(texts.KeyFields, kind), "D", "deleted")
                  << QString();
        appendMssqlTail(lines);
    } else {
        if (texts.Trace)
            lines << TraceInsert
                  << trace(t, QStringLiteral(":old.") + SqlNameList(texts.KeyFields, kind), "D",
                           "DUAL")
                  << QString();
        lines.append(QStringLiteral("end;"));
    }
    return lines;
}
