create or replace trigger tI_VISIT  after INSERT on VISIT for each row
declare  numrows integer;
begin
select count(*) into numrows from PATIENT
where :new.PATIENT_ID = PATIENT.PATIENT_ID;
if numrows = 0
then
  raise_application_error(-20002, 'Cannot INSERT VISIT because PATIENT does not exist.');
end if;

select count(*) into numrows from DOCS
where :new.DOC_TYPE = DOCS.TYPE
  and :new.DOC_NO = DOCS.NO;
if numrows = 0
and :new.DOC_TYPE is not null
and :new.DOC_NO is not null
then
  raise_application_error(-20002, 'Cannot INSERT VISIT because DOCS does not exist.');
end if;

end;
