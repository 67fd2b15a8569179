create table PATIENT_TMP(
  PATIENT_ID INT NOT  NULL ,
  NAME VARCHAR2(60)  NULL ,
  "2X" VARCHAR2(10)  NULL ,
  "USER" INT NULL 
)
go
create public synonym "PATIENT_TMP" for ""."PATIENT_TMP"
go
grant select,insert,update,delete on PATIENT_TMP to "DEFAULT"
go
insert into PATIENT_TMP(PATIENT_ID,NAME,"2X","USER")
select PATIENT_ID,NAME,"2X","USER" from PATIENT
go
GRANT  SELECT on PATIENT_TMP to "NURSE"
go
drop table PATIENT
go
alter table PATIENT_TMP rename to PATIENT
go
alter table PATIENT add constraint PK_PATIENT primary key (PATIENT_ID)
go
create index IX_2X on PATIENT("2X","USER")
go
