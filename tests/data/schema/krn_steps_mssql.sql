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
create table REC_VERSION(REC_VERSION_ID integer identity not null,TABLE_NAME varchar(30) not null, UNIREC_ID integer not null,REC_GUID uniqueidentifier,VERSION_GUID uniqueidentifier null,OLDVERSION_GUID uniqueidentifier null,ISDELETED bit not null, PATIENTS_ID integer null)
go
alter table REC_VERSION add constraint PK_REC_VERSION primary key nonclustered (REC_VERSION_ID)
go
create clustered index idxTABLE_NAME on REC_VERSION (TABLE_NAME)
go
alter table METATABLE add REPL bit
go
update VERSION set VERSION = 4 where UPPER(MODULE) = 'DBKERNEL'
go
<COMMIT>
select VERSION from CACHESYS where Upper(ALIAS) = Upper('meta_fields')
go
update CACHESYS set VERSION=2
where Upper(ALIAS) = Upper('meta_fields')
go
<BEGIN>
select id from syscolumns where id=object_id('METATABLE') and name = 'BASE_TABLE'
go
alter table METATABLE add BASE_TABLE varchar(30) NULL
go
select id from syscolumns where id=object_id('METATABLE') and name = 'OBJECT_KIND'
go
alter table METATABLE add OBJECT_KIND varchar(1) NULL
go
select id from syscolumns where id=object_id('METATABLE') and name = 'ISLOOKUP'
go
alter table METATABLE add ISLOOKUP int NULL
go
select id from syscolumns where id=object_id('METAFIELD') and name = 'ORIGIN'
go
alter table METAFIELD add ORIGIN varchar(30) NULL
go
select id from syscolumns where id=object_id('METAFIELD') and name = 'NATIVE_NAME'
go
alter table METAFIELD add NATIVE_NAME varchar(30) NULL
go
select id from sysobjects where id = object_id('_KRN_SYS_FLAGS')
go
create table _KRN_SYS_FLAGS(FLAG varchar(30) not null,VALUE int,primary key(FLAG))
go
update METATABLE set OBJECT_KIND = 'T' where OBJECT_KIND is null
go
update VERSION set VERSION = 5 where UPPER(MODULE) = 'DBKERNEL'
go
<COMMIT>
grant select on _KRN_SYS_FLAGS to PUBLIC
go
grant select on METATABLE to PUBLIC
go
grant select on METAFIELD to PUBLIC
go
grant select on TABLELINK to PUBLIC
go
grant select on VERSION to PUBLIC
go
select id from sysobjects where id = object_id('META_MACRO')
go
grant select on META_MACRO to PUBLIC
go
<BEGIN>
select id from syscolumns where id=object_id('METATABLE') and name = 'TRACE_LOG'
go
alter table METATABLE add TRACE_LOG varchar(1) NULL
go
select id from sysobjects where id = object_id('KRN_SYS_TRACE')
go
create table KRN_SYS_TRACE(
TABLE_NAME varchar(30) NOT NULL,
REC_ID int NOT NULL,
USER_ID int NOT NULL DEFAULT (user_id()),
DATE_CHANGE datetime NOT NULL DEFAULT (GetDate()),
ACTION varchar(1) NOT NULL
)
go
alter table KRN_SYS_TRACE add primary key
(
      TABLE_NAME,
      REC_ID,
      USER_ID,
      DATE_CHANGE
      )
go
create trigger tUD_KRN_SYS_TRACE on KRN_SYS_TRACE for UPDATE,DELETE as
begin
  raiserror 999999 'Table KRN_SYS_TRACE is read only.'
  rollback transaction
end
go
grant insert on KRN_SYS_TRACE to PUBLIC
go
select id from sysobjects where id = object_id('KRN_SYS_TRACE_LOG')
go
create table KRN_SYS_TRACE_LOG(
   TABLE_NAME varchar(30) NOT NULL,
   REC_ID int NOT NULL,
   USER_ID int NOT NULL DEFAULT (user_id()),
   DATE_CHANGE datetime NOT NULL DEFAULT (GetDate()),
   ACTION varchar(1) NOT NULL,
   LOG text,
   LOG_DATA text
 )
go
alter table KRN_SYS_TRACE_LOG add primary key
(
  TABLE_NAME,
  REC_ID,
  USER_ID,
  DATE_CHANGE
)
go
create trigger tUD_KRN_SYS_TRACE_LOG on KRN_SYS_TRACE_LOG for UPDATE,DELETE as
begin
  raiserror 999999 'Table KRN_SYS_TRACE_LOG is read only.'
  rollback transaction
end
go
grant insert on KRN_SYS_TRACE_LOG to PUBLIC
go
update METATABLE set TRACE_LOG = 'F'
go
update VERSION set VERSION = 6 where UPPER(MODULE) = 'DBKERNEL'
go
<COMMIT>
