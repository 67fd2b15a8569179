-- A kernel database at kernel version 1, written by hand: the kernel's tables without anything
-- the upgrade steps 2 to 6 add (no METAFIELD.ORD, ORIGIN, NATIVE_NAME; no METATABLE trigger
-- texts, REPL, BASE_TABLE, OBJECT_KIND, ISLOOKUP, TRACE_LOG; no _KRN_SYS_FLAGS), and two
-- described tables with a link.
create table VERSION (MODULE varchar(30), VERSION integer);
create table METATABLE (TABLE_NAME varchar(30), KEY_FIELDS varchar(50), SYSTEM boolean,
  CUSTOM clob, OWNER_NAME varchar(30));
create table METAFIELD (TABLE_NAME varchar(30), FIELD_NAME varchar(30), REQUIRED boolean,
  VISIBLE boolean, METATYPE varchar(30), DATATYPE integer, FSIZE integer, FPREC integer,
  CUSTOM clob);
create unique index METAFIELD$PRIMARY on METAFIELD (TABLE_NAME, FIELD_NAME);
create table TABLELINK (PARENT varchar(30), CHILD varchar(30), KEY_FIELDS varchar(50),
  REF_FIELDS varchar(50), DEL_ACT varchar(1), CUSTOM clob);
create table CACHESYS (ALIAS varchar(30), VERSION integer, UPDATE_ID integer);
create table ID_VALUES (KEY_NAME varchar(30), LAST_VALUE integer);
create table DBROLE (DBROLE_ID integer, DBNAME varchar(30));
create table ROLEPERM (DBROLE_ID integer, TABLE_NAME varchar(30), ACTION varchar(1),
  KIND integer);

create table PATIENT (PATIENT_ID integer, NAME varchar(40), BIRTH date,
  primary key (PATIENT_ID));
create table VISIT (VISIT_ID integer, PATIENT_ID integer, DAY date, NOTE varchar(80),
  primary key (VISIT_ID));
insert into PATIENT values (1, 'Durand', '1950-03-02'), (2, 'Martin', '1961-11-30');
insert into VISIT values (10, 1, '2026-01-05', 'first'), (11, 1, '2026-02-09', null);

insert into VERSION values ('DBKERNEL', 1);
insert into METATABLE values ('PATIENT', 'PATIENT_ID', 0, 'Label=Patients', null),
  ('VISIT', 'VISIT_ID', 0, null, null);
-- Out of column order; OLD_CODE describes a column the table no longer has.
insert into METAFIELD values
  ('VISIT', 'NOTE', 0, 1, null, 3, 80, 0, null),
  ('PATIENT', 'OLD_CODE', 0, 1, null, 3, 10, 0, null),
  ('PATIENT', 'NAME', 1, 1, null, 3, 40, 0, 'Label=Nom'),
  ('VISIT', 'PATIENT_ID', 1, 1, null, 1, 0, 0, null),
  ('PATIENT', 'BIRTH', 0, 1, null, 5, 0, 0, null),
  ('VISIT', 'VISIT_ID', 1, 1, null, 1, 0, 0, null),
  ('PATIENT', 'PATIENT_ID', 1, 1, null, 1, 0, 0, null),
  ('VISIT', 'DAY', 0, 1, null, 5, 0, 0, null);
insert into TABLELINK values ('PATIENT', 'VISIT', 'PATIENT_ID', 'PATIENT_ID', 'C', null);
