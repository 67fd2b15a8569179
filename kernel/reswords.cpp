// The reserved-word lists of the three server kinds and the look-up in them.
#include "reswords.h"

#include <QSet>

namespace {

// Each list is one text of words separated by blanks, as the lists have always been kept; where
// two words stand without a blank between them they count as one word.
const char kMsSqlWords[] =
    "ADD EXIT PRIMARY ALL FETCH PRINT ALTER FILE PRIVILEGES AND FILLFACTOR PROC ANY FLOPPY "
    "PROCEDURE AS FORPROCESSEXIT ASC FOREIGN PUBLIC AUTHORIZATION FREETEXT RAISERROR AVG "
    "FREETEXTTABLE READ BACKUP FROM READTEXTBEGIN FULL RECONFIGURE BETWEEN GOTO REFERENCES "
    "BREAK GRANT REPEATABLE BROWSE GROUP REPLICATION BULK HAVINGRESTORE BY HOLDLOCK RESTRICT "
    "CASCADE IDENTITY RETURN CASE IDENTITY_INSERT REVOKE CHECK IDENTITYCOL RIGHTCHECKPOINT IF "
    "ROLLBACK CLOSE IN ROWCOUNT CLUSTERED INDEX ROWGUIDCOL COALESCE INNER RULE COLUMN INSERT "
    "SAVECOMMIT INTERSECT SCHEMA COMMITTED INTO SELECT COMPUTE IS SERIALIZABLECONFIRM "
    "ISOLATION SESSION_USER CONSTRAINTJOIN SET CONTAINS KEY SETUSER CONTAINSTABLE KILL "
    "SHUTDOWN CONTINUE LEFT SOME CONTROLROW LEVEL STATISTICS CONVERTLIKE SUM COUNT LINENO "
    "SYSTEM_USER CREATE LOAD TABLE CROSS MAX TAPE CURRENT MIN TEMP CURRENT_DATE "
    "MIRROREXITTEMPORARY CURRENT_TIME NATIONAL TEXTSIZE CURRENT_TIMESTAMP NOCHECK THEN "
    "CURRENT_USER NONCLUSTERED TO CURSOR NOTTOP DATABASE NULL TRAN DBCC NULLIF TRANSACTION "
    "DEALLOCATE OF TRIGGER DECLARE OFF TRUNCATE DEFAULT OFFSETS TSEQUALDELETE ON UNCOMMITTED "
    "DENY ONCE UNION DESC ONLY UNIQUE DISK OPEN UPDATE DISTINCT OPENDATASOURCE "
    "UPDATETEXTDISTRIBUTED OPENQUERY USE DOUBLE OPENROWSET USER DROP OPTION VALUES DUMMY OR "
    "VARYING DUMP ORDER VIEW ELSE OUTERWAITFOR END OVER WHEN ERRLVL PERCENT WHERE ERROREXIT "
    "PERM WHILE ESCAPE PERMANENT WITH EXCEPT PIPE WORK EXECPLAN WRITETEXT EXECUTE PRECISION "
    "EXISTS PREPARE";

const char kOracleWords[] =
    "ALL ALTER AND ANY ARRAYAS ASC BETWEEN BY CHAR CHECK CLUSTER COMMENT COMPRESS CONNECT "
    "CREATECURRENT DATE DECIMAL DEFAULT DELETE DESC DISTINCT DODROP ELSE EXCLUSIVE EXISTS "
    "FLOAT FOR FROMGROUP HAVING IMMEDIATE IN INDEX INSERT INTEGER INTERSECT INTO IS LEVEL LIKE "
    "LOCK LONG MINUS MLSLABELMODE NOT NOWAIT NULL NUMBER OF ON OPTION OR ORDER PCTFREE PRIOR "
    "PUBLIC RAW ROW ROWID ROWNUM SELECTSET SHARE SMALLINT START SUCCESSFUL SYNONYM SYSDATE "
    "TABLE THEN TOTRIGGER UID UNION UNIQUE UPDATEUSER VALIDATE VALUES VARCHAR VARCHAR2 VIEW "
    "WHENEVER WHERE WITH";

const char kLocalWords[] = "INT FUNCTION";

struct WordList
{
    QStringList words;
    QSet<QString> upper;

    explicit WordList(const char* text)
    {
        // Blanks, control characters and commas separate the words.
        QString word;
        for (const char* c = text;; ++c) {
            if (*c != 0 && static_cast<unsigned char>(*c) > ' ' && *c != ',') {
                word += QLatin1Char(*c);
                continue;
            }
            if (!word.isEmpty()) {
                words.append(word);
                upper.insert(word.toUpper());
                word.clear();
            }
            if (*c == 0)
                break;
        }
    }
};

const WordList* listFor(ServerKind::Kind serverKind)
{
    static const WordList msSql(kMsSqlWords);
    static const WordList oracle(kOracleWords);
    static const WordList local(kLocalWords);
    switch (serverKind) {
    case ServerKind::MSSQL:
        return &msSql;
    case ServerKind::Oracle:
        return &oracle;
    case ServerKind::Standard:
        return &local;
    default:
        return nullptr;
    }
}

} // namespace

bool IsReservedWord(const QString& word, ServerKind::Kind serverKind)
{
    const WordList* list = listFor(serverKind);
    if (!list)
        return false;
    // Every reserved word is plain ASCII; folding only ASCII keeps "ınt" from passing for INT.
    QString key = word;
    for (QChar& c : key) {
        if (c.unicode() > 0x7F)
            return false;
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return list->upper.contains(key);
}

QStringList ReservedWords(ServerKind::Kind serverKind)
{
    const WordList* list = listFor(serverKind);
    return list ? list->words : QStringList();
}
