create table VISIT(
  VISIT_ID INT NOT  NULL ,
  PATIENT_ID INT NOT  NULL ,
  NOTE VARCHAR2(40)  NULL 
)
go
drop public synonym VISIT
go
create public synonym "VISIT" for "CLINIC"."VISIT"
go
grant select,insert,update,delete on VISIT to "DEFAULT"
go
alter table VISIT add constraint PK_VISIT primary key (VISIT_ID)
go
create index VISIT_IX_PAT on VISIT(PATIENT_ID)
go
create or replace trigger tI_VISIT  after INSERT on VISIT for each row
declare  numrows integer;
begin
select count(*) into numrows from PATIENT
where :new.PATIENT_ID = PATIENT.PATIENT_ID;
if numrows = 0
then
  raise_application_error(-20002, 'Cannot INSERT VISIT because PATIENT does not exist.');
end if;

end;
go
create or replace trigger tD_PATIENT after delete on PATIENT for each row
declare numrows INTEGER;
begin
delete from VISIT
where :old.PATIENT_ID = VISIT.PATIENT_ID;

end;
go
