create trigger tU_VISIT on VISIT for UPDATE as
begin
declare  @errno   int,
         @errmsg  varchar(255),
         @who varchar(30),
         @at datetime

select @who = user_name()


update REC_VERSION set VERSION_GUID = NEWID()
from REC_VERSION,deleted
where REC_VERSION.TABLE_NAME = 'VISIT' and  deleted.VISIT_ID = REC_VERSION.UNIREC_ID


insert into KRN_SYS_TRACE(TABLE_NAME,REC_ID,ACTION)
select 'VISIT', VISIT_ID, 'U' from deleted

return;
error:
  THROW @ERRNO, @ERRMSG, 1;
  rollback transaction
end
