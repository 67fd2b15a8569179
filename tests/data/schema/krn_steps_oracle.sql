<BEGIN>
select * from METAFIELD where 0=1
go
alter table METAFIELD add ORD integer
go
select TABLE_NAME from METATABLE
go
select * from PATIENT
go
update METAFIELD set ORD = ?
where TABLE_NAME = ?
  and FIELD_NAME = ?
go
select * from VISIT
go
update VERSION set VERSION = 2 where UPPER(MODULE) = 'DBKERNEL'
go
<COMMIT>
select VERSION from CACHESYS where Upper(ALIAS) = Upper('meta_fields')
go
insert into CACHESYS(ALIAS,VERSION)
values('meta_fields',1)
go
<BEGIN>
select * from METATABLE where 0=1
go
alter table METATABLE add INSERT_HEAD TEXT NULL
go
alter table METATABLE add INSERT_BODY TEXT NULL
go
alter table METATABLE add UPDATE_HEAD TEXT NULL
go
alter table METATABLE add UPDATE_BODY TEXT NULL
go
alter table METATABLE add DELETE_HEAD TEXT NULL
go
alter table METATABLE add DELETE_BODY TEXT NULL
go
update VERSION set VERSION = 3 where UPPER(MODULE) = 'DBKERNEL'
go
<COMMIT>
select VERSION from CACHESYS where Upper(ALIAS) = Upper('meta_tables')
go
insert into CACHESYS(ALIAS,VERSION)
values('meta_tables',1)
go
<BEGIN>
update VERSION set VERSION = 4 where UPPER(MODULE) = 'DBKERNEL'
go
<COMMIT>
select VERSION from CACHESYS where Upper(ALIAS) = Upper('meta_fields')
go
update CACHESYS set VERSION=2
where Upper(ALIAS) = Upper('meta_fields')
go
<BEGIN>
select COLUMN_ID as id from USER_TAB_COLUMNS where TABLE_NAME = 'METATABLE' and Upper(COLUMN_NAME) = Upper('BASE_TABLE')
go
alter table METATABLE add BASE_TABLE varchar2(30) NULL
go
select COLUMN_ID as id from USER_TAB_COLUMNS where TABLE_NAME = 'METATABLE' and Upper(COLUMN_NAME) = Upper('OBJECT_KIND')
go
alter table METATABLE add OBJECT_KIND varchar2(1) NULL
go
select COLUMN_ID as id from USER_TAB_COLUMNS where TABLE_NAME = 'METATABLE' and Upper(COLUMN_NAME) = Upper('ISLOOKUP')
go
alter table METATABLE add ISLOOKUP integer NULL
go
select COLUMN_ID as id from USER_TAB_COLUMNS where TABLE_NAME = 'METAFIELD' and Upper(COLUMN_NAME) = Upper('ORIGIN')
go
alter table METAFIELD add ORIGIN varchar2(30) NULL
go
select COLUMN_ID as id from USER_TAB_COLUMNS where TABLE_NAME = 'METAFIELD' and Upper(COLUMN_NAME) = Upper('NATIVE_NAME')
go
alter table METAFIELD add NATIVE_NAME varchar2(30) NULL
go
select OBJECT_ID as id from USER_OBJECTS where OBJECT_NAME = UPPER('_KRN_SYS_FLAGS')
                                           and OBJECT_TYPE = UPPER('TABLE')
go
create table "_KRN_SYS_FLAGS" (FLAG varchar2(30) not null,VALUE int,primary key(FLAG))
go
update METATABLE set OBJECT_KIND = 'T' where OBJECT_KIND is null
go
update VERSION set VERSION = 5 where UPPER(MODULE) = 'DBKERNEL'
go
<COMMIT>
<BEGIN>
select COLUMN_ID as id from USER_TAB_COLUMNS where TABLE_NAME = 'METATABLE' and Upper(COLUMN_NAME) = Upper('TRACE_LOG')
go
alter table METATABLE add TRACE_LOG varchar2(1) NULL
go
select OBJECT_ID as id from USER_OBJECTS where OBJECT_NAME = UPPER('KRN_SYS_TRACE')
                                           and OBJECT_TYPE = UPPER('TABLE')
go
create table KRN_SYS_TRACE(
  TABLE_NAME varchar2(30) NOT NULL,
  REC_ID integer NOT NULL,
  USER_ID integer DEFAULT UID NOT NULL,
  DATE_CHANGE date DEFAULT SYSDATE NOT NULL,
  ACTION varchar2(1) NOT NULL
)
go
alter table KRN_SYS_TRACE add (primary key
(
  TABLE_NAME,
  REC_ID,
  USER_ID,
  DATE_CHANGE
 ))
go
create trigger tUD_KRN_SYS_TRACE before delete or update on KRN_SYS_TRACE
begin
  raise_application_error(-20999,'Table KRN_SYS_TRACE is read only.');
  rollback;
end;
go
grant insert on KRN_SYS_TRACE to "DEFAULT"
go
select OBJECT_ID as id from USER_OBJECTS where OBJECT_NAME = UPPER('KRN_SYS_TRACE_LOG')
                                           and OBJECT_TYPE = UPPER('TABLE')
go
create table KRN_SYS_TRACE_LOG(
  TABLE_NAME varchar2(30) NOT NULL,
  REC_ID integer NOT NULL,
  USER_ID integer DEFAULT UID NOT NULL,
  DATE_CHANGE date DEFAULT SYSDATE NOT NULL,
  ACTION varchar2(1) NOT NULL,
  LOG CLOB null,
  LOG_DATA CLOB null
)
go
alter table KRN_SYS_TRACE_LOG add (primary key
(
  TABLE_NAME,
  REC_ID,
  USER_ID,
  DATE_CHANGE
 ))
go
create trigger tUD_KRN_SYS_TRACE_LOG before delete or update on KRN_SYS_TRACE_LOG
begin
  raise_application_error(-20999,'Table KRN_SYS_TRACE_LOG is read only.');
  rollback;
end;
go
grant insert on KRN_SYS_TRACE_LOG to "DEFAULT"
go
update METATABLE set TRACE_LOG = 'F'
go
update VERSION set VERSION = 6 where UPPER(MODULE) = 'DBKERNEL'
go
<COMMIT>
