create or replace trigger tD_PATIENT after delete on PATIENT for each row
declare numrows INTEGER;
begin
select count(*) into numrows from FAMILY
where :old.FAMILY_ID = FAMILY_ID;
if (numrows > 0) then
  raise_application_error(-20001, 'Cannot DELETE PATIENT because FAMILY exists.');
end if;
delete from VISIT
where :old.PATIENT_ID = VISIT.PATIENT_ID;

select count(*) into numrows from BILL
where :old.PATIENT_ID = BILL.PATIENT_ID;
if (numrows > 0) then
  raise_application_error(-20001, 'Cannot DELETE PATIENT because BILL exists.');
end if;

update NOTE
set NOTE.PATIENT_ID = NULL
where :old.PATIENT_ID = NOTE.PATIENT_ID;

update CARD
set CARD.PATIENT_ID = NULL
where :old.PATIENT_ID = CARD.PATIENT_ID;

insert into KRN_SYS_TRACE(TABLE_NAME,REC_ID,ACTION)
select 'PATIENT', :old.PATIENT_ID, 'D' from DUAL

end;
