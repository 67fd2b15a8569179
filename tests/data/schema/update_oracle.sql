create or replace trigger tU_VISIT after update on VISIT for each row
v_who varchar2(30);
begin

v_who := user;

insert into KRN_SYS_TRACE(TABLE_NAME,REC_ID,ACTION)
select 'VISIT', :new.VISIT_ID, 'U' from DUAL

end;
