alter table VISIT drop constraint PK_VISIT
go
alter table VISIT add constraint PK_CONSULT primary key (VISIT_ID)
go
exec sp_rename 'VISIT','CONSULT'
go
if exists (select * from sysobjects where id = object_id('dbo.tD_VISIT'))
drop trigger dbo.tD_VISIT
go
if exists (select * from sysobjects where id = object_id('dbo.tI_VISIT'))
drop trigger dbo.tI_VISIT
go
if exists (select * from sysobjects where id = object_id('dbo.tU_VISIT'))
drop trigger dbo.tU_VISIT
go
if exists (select * from sysobjects where id = object_id('dbo.tI_VISIT'))
drop trigger dbo.tI_VISIT
go
