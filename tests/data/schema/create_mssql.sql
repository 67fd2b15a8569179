create table VISIT(
  VISIT_ID INT NOT  NULL ,
  PATIENT_ID INT NOT  NULL ,
  NOTE VARCHAR(40)  NULL 
)
go
grant select,insert,update,delete on VISIT to PUBLIC
go
alter table VISIT add constraint PK_VISIT primary key nonclustered (VISIT_ID)
go
create clustered index IX_PAT on VISIT(PATIENT_ID)
go
if exists (select * from sysobjects where id = object_id('dbo.tI_VISIT'))
drop trigger dbo.tI_VISIT
go
create trigger tI_VISIT on VISIT for INSERT as
begin
declare  @NUMROWS int,
         @NULLCNT int,
         @VALIDCNT int,
         @ERRNO   int,
         @ERRMSG  varchar(255)
select @NUMROWS = @@ROWCOUNT
select @NULLCNT = 0
select @VALIDCNT = count(*) from inserted,PATIENT
where inserted.PATIENT_ID = PATIENT.PATIENT_ID
select @NULLCNT = 0
if @VALIDCNT + @NULLCNT != @NUMROWS
begin
  select @ERRNO = 50001,
  @ERRMSG = 'Cannot INSERT VISIT because PATIENT does not exist.'
  goto error
end

return;
error:
  THROW @ERRNO, @ERRMSG, 1;
  rollback transaction
end
go
if exists (select * from sysobjects where id = object_id('dbo.tD_VISIT'))
drop trigger dbo.tD_VISIT
go
if exists (select * from sysobjects where id = object_id('dbo.tD_PATIENT'))
drop trigger dbo.tD_PATIENT
go
create trigger tD_PATIENT on PATIENT for DELETE as
begin
declare  @ERRNO   int,
         @ERRMSG  varchar(255)
if @@ROWCOUNT = 0 return
delete VISIT
from deleted, VISIT
where deleted.PATIENT_ID = VISIT.PATIENT_ID

return;
error:
  THROW @ERRNO, @ERRMSG, 1;
  rollback transaction
end
go
