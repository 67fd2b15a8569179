create trigger tU_VISIT on VISIT for UPDATE as
begin
declare  @ERRNO   int,
         @ERRMSG  varchar(255),
         @WHO varchar(30)

select @WHO = user_name()

return;
error:
  THROW @ERRNO, @ERRMSG, 1;
  rollback transaction
end
