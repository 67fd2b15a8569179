create table PATIENT_TMP(
  PATIENT_ID INT NOT  NULL ,
  NAME VARCHAR(60)  NULL ,
  [2X] VARCHAR(10)  NULL ,
  [JOIN] INT NULL 
)
go
grant select,insert,update,delete on PATIENT_TMP to PUBLIC
go
insert into PATIENT_TMP(PATIENT_ID,NAME,[2X],[JOIN])
select PATIENT_ID,NAME,[2X],[JOIN] from PATIENT
go
GRANT  SELECT on PATIENT_TMP to NURSE
go
drop table PATIENT
go
exec sp_rename 'PATIENT_TMP','PATIENT'
go
alter table PATIENT add constraint PK_PATIENT primary key (PATIENT_ID)
go
create index IX_2X on PATIENT([2X],[JOIN])
go
