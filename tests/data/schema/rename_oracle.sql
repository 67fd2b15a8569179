drop index VISIT_IX_PAT
go
alter table VISIT rename to CONSULT
go
drop trigger tU_VISIT
go
