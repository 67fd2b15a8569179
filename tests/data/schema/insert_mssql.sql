create trigger tI_VISIT on VISIT for INSERT as
begin
declare  @numrows int,
         @nullcnt int,
         @validcnt int,
         @errno   int,
         @errmsg  varchar(255)
select @numrows = @@rowcount
select @nullcnt = 0
select @validcnt = count(*) from inserted,PATIENT
where inserted.PATIENT_ID = PATIENT.PATIENT_ID
select @nullcnt = 0
if @validcnt + @nullcnt != @numrows
begin
  select @errno = 50001,
  @errmsg = 'Cannot INSERT VISIT because PATIENT does not exist.'
  goto error
end

select @validcnt = count(*) from inserted,DOCS
where inserted.DOC_TYPE = DOCS.TYPE
  and inserted.DOC_NO = DOCS.NO
select @nullcnt = count(*) from inserted
where inserted.DOC_TYPE is null
  and inserted.DOC_NO is null
if @validcnt + @nullcnt != @numrows
begin
  select @errno = 50001,
  @errmsg = 'Cannot INSERT VISIT because DOCS does not exist.'
  goto error
end

return;
error:
  THROW @ERRNO, @ERRMSG, 1;
  rollback transaction
end
