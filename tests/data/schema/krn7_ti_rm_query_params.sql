create trigger tI_RM_QUERY_PARAMS on RM_QUERY_PARAMS for INSERT as
begin
declare  @NUMROWS int,
         @NULLCNT int,
         @VALIDCNT int,
         @ERRNO   int,
         @ERRMSG  varchar(255)
select @NUMROWS = @@ROWCOUNT
select @NULLCNT = 0
select @VALIDCNT = count(*) from inserted,RM_QUERIES
where inserted.RM_QUERIES_ID = RM_QUERIES.RM_QUERIES_ID
select @NULLCNT = 0
if @VALIDCNT + @NULLCNT != @NUMROWS
begin
  select @ERRNO = 50001,
  @ERRMSG = 'Cannot INSERT RM_QUERY_PARAMS because RM_QUERIES does not exist.'
  goto error
end

return;
error:
  THROW @ERRNO, @ERRMSG, 1;
  rollback transaction
end
