create trigger tD_RM_QUERIES on RM_QUERIES for DELETE as
begin
declare  @ERRNO   int,
         @ERRMSG  varchar(255)
if @@ROWCOUNT = 0 return
delete RM_QUERY_PARAMS
from deleted, RM_QUERY_PARAMS
where deleted.RM_QUERIES_ID = RM_QUERY_PARAMS.RM_QUERIES_ID

return;
error:
  THROW @ERRNO, @ERRMSG, 1;
  rollback transaction
end
