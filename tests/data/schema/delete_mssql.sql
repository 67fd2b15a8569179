create trigger tD_PATIENT on PATIENT for DELETE as
begin
declare  @errno   int,
         @errmsg  varchar(255)
if @@rowcount = 0 return
if exists(
  select * from deleted,FAMILY
  where deleted.FAMILY_ID = FAMILY.FAMILY_ID)
begin
  select @errno  = 50002,
  @errmsg = 'Cannot DELETE PATIENT because FAMILY exists.'
  goto error
end

delete VISIT
from deleted, VISIT
where deleted.PATIENT_ID = VISIT.PATIENT_ID

if exists(
  select * from deleted,BILL
  where deleted.PATIENT_ID = BILL.PATIENT_ID)
begin
  select @errno  = 50002,
  @errmsg = 'Cannot DELETE PATIENT because BILL exists.'
  goto error
end

update NOTE
set NOTE.PATIENT_ID = NULL
from deleted, NOTE
where deleted.PATIENT_ID = NOTE.PATIENT_ID

update CARD
set CARD.PATIENT_ID = NULL
from deleted, CARD
where deleted.PATIENT_ID = CARD.PATIENT_ID

insert into KRN_SYS_TRACE(TABLE_NAME,REC_ID,ACTION)
select 'PATIENT', PATIENT_ID, 'D' from deleted

return;
error:
  THROW @ERRNO, @ERRMSG, 1;
  rollback transaction
end
