alter table VISIT drop constraint PK_VISIT
go
drop index VISIT_IX_PAT
go
alter table VISIT add  NOTE2 VARCHAR2(1) NULL 
go
alter table VISIT drop column OLD
go
alter table VISIT add constraint PK_VISIT primary key (VISIT_ID)
go
create unique index IX_NOTE on VISIT(NOTE)
go
