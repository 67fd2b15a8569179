#include "kernel_schema.h"

namespace kernelschema {

QString createTables(bool booleansAsText)
{
    const QString boolean =
        booleansAsText ? QStringLiteral("varchar(1)") : QStringLiteral("boolean");
    return QStringLiteral(
               "create table VERSION (MODULE varchar(30), VERSION integer);"
               "create table _KRN_SYS_FLAGS (FLAG varchar(30), VALUE varchar(30));"
               "create table META_MACRO (CODE varchar(30), MACRO clob);"
               "create table METATABLE (TABLE_NAME varchar(30), KEY_FIELDS varchar(50),"
               " SYSTEM boolean, CUSTOM clob, TRACE_LOG boolean, BASE_TABLE varchar(30),"
               " OBJECT_KIND varchar(1));"
               "create table METAFIELD (TABLE_NAME varchar(30), FIELD_NAME varchar(30),"
               " REQUIRED %1, VISIBLE %1, METATYPE varchar(30), DATATYPE integer, FSIZE integer,"
               " FPREC integer, CUSTOM clob, ORIGIN varchar(30), NATIVE_NAME varchar(30),"
               " ORD integer);"
               "create table TABLELINK (PARENT varchar(30), CHILD varchar(30),"
               " KEY_FIELDS varchar(50), REF_FIELDS varchar(50), DEL_ACT varchar(1), CUSTOM clob);"
               "create table CACHESYS (ALIAS varchar(30), VERSION integer, UPDATE_ID integer);"
               "create table DUAL (DUMMY varchar(1)); insert into DUAL values ('X');")
        .arg(boolean);
}

QString schemaToolTables(int serverKind)
{
    QString sql;
    for (const char* column :
         {"OWNER_NAME varchar(30)", "INSERT_HEAD clob", "INSERT_BODY clob", "UPDATE_HEAD clob",
          "UPDATE_BODY clob", "DELETE_HEAD clob", "DELETE_BODY clob", "REPL boolean"})
        sql += QStringLiteral("alter table METATABLE add column %1;").arg(QLatin1String(column));
    sql += QStringLiteral("create table ROLEPERM (DBROLE_ID integer, TABLE_NAME varchar(30),"
                          " ACTION varchar(1), KIND integer);"
                          "create table DBROLE (DBROLE_ID integer, DBNAME varchar(30));"
                          "create table KRN_SYS_TRACE (TABLE_NAME varchar(30), REC_ID integer,"
                          " ACTION varchar(1));");
    if (serverKind == 1)
        sql += QStringLiteral("create table REC_VERSION (TABLE_NAME varchar(30), UNIREC_ID integer,"
                              " REC_GUID varchar(38), VERSION_GUID varchar(38), ISDELETED integer,"
                              " PATIENTS_ID integer);");
    return sql;
}

} // namespace kernelschema
