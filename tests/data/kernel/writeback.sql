-- The write-back tests' tables: patients (traced) with their stays (deleted with them), the acts
-- of the stays (deleted with the stays), their bills (which forbid the delete) and their
-- appointments (which lose the patient); notes with an autoincrement key; and the kernel's
-- identifier and trace tables.
insert into METATABLE values
 ('MALADES', 'MALADES_ID', 0, null, 1, null, 'T'),
 ('SEJOURS', 'SEJOURS_ID', 0, null, 0, null, 'T'),
 ('ACTES', 'ACTES_ID', 0, null, 0, null, 'T'),
 ('FACTURES', 'FACTURES_ID', 0, null, 0, null, 'T'),
 ('RDV', 'RDV_ID', 0, null, 0, null, 'T'),
 ('NOTES', 'NOTES_ID', 0, null, 0, null, 'T');

-- TABLE_NAME, FIELD_NAME, REQUIRED, VISIBLE, METATYPE, DATATYPE, FSIZE, FPREC, CUSTOM, ORIGIN,
-- NATIVE_NAME, ORD
insert into METAFIELD values
 ('MALADES', 'MALADES_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('MALADES', 'NOM', 1, 1, null, 3, 30, 0, null, null, null, 2),
 ('MALADES', 'ACTIF', 0, 1, null, 11, 0, 0, null, null, null, 3),
 ('MALADES', 'NOTE', 0, 1, null, 9, 0, 0, null, null, null, 4),
 ('MALADES', 'PHOTO', 0, 1, null, 10, 0, 0, null, null, null, 5),
 ('MALADES', 'NE_LE', 0, 1, null, 5, 0, 0, null, null, null, 6),
 ('SEJOURS', 'SEJOURS_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('SEJOURS', 'MALADES_ID', 1, 1, null, 1, 0, 0, null, null, null, 2),
 ('SEJOURS', 'MOTIF', 0, 1, null, 3, 40, 0, null, null, null, 3),
 ('ACTES', 'ACTES_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('ACTES', 'SEJOURS_ID', 1, 1, null, 1, 0, 0, null, null, null, 2),
 ('ACTES', 'CODE', 0, 1, null, 3, 10, 0, null, null, null, 3),
 ('FACTURES', 'FACTURES_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('FACTURES', 'MALADES_ID', 1, 1, null, 1, 0, 0, null, null, null, 2),
 ('FACTURES', 'MONTANT', 0, 1, null, 7, 0, 0, null, null, null, 3),
 ('RDV', 'RDV_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('RDV', 'MALADES_ID', 0, 1, null, 1, 0, 0, null, null, null, 2),
 ('RDV', 'JOUR', 0, 1, null, 5, 0, 0, null, null, null, 3),
 ('NOTES', 'NOTES_ID', 1, 1, null, 2, 0, 0, null, null, null, 1),
 ('NOTES', 'TEXTE', 0, 1, null, 3, 50, 0, null, null, null, 2),
 ('NOTES', 'URGENT', 0, 1, null, 11, 0, 0, null, null, null, 3);

insert into TABLELINK values
 ('MALADES', 'SEJOURS', 'MALADES_ID', 'MALADES_ID', 'C', null),
 ('SEJOURS', 'ACTES', 'SEJOURS_ID', 'SEJOURS_ID', 'C', null),
 ('MALADES', 'FACTURES', 'MALADES_ID', 'MALADES_ID', 'R', null),
 ('MALADES', 'RDV', 'MALADES_ID', 'MALADES_ID', 'N', null);

create table MALADES (MALADES_ID integer, NOM varchar(30), ACTIF boolean, NOTE text, PHOTO blob,
 NE_LE date);
insert into MALADES values (1, 'Arnaud', 1, 'première ligne', null, '1950-03-04'),
 (2, 'Bernard', 0, null, null, null), (3, 'Claude', null, null, null, null);
create table SEJOURS (SEJOURS_ID integer, MALADES_ID integer, MOTIF varchar(40));
insert into SEJOURS values (10, 1, 'Grippe'), (11, 1, 'Fracture'), (12, 2, 'Bilan');
create table ACTES (ACTES_ID integer, SEJOURS_ID integer, CODE varchar(10));
insert into ACTES values (100, 10, 'A1'), (101, 10, 'A2'), (102, 11, 'B1'), (103, 12, 'C1');
create table FACTURES (FACTURES_ID integer, MALADES_ID integer, MONTANT money);
insert into FACTURES values (500, 2, 30);
create table RDV (RDV_ID integer, MALADES_ID integer, JOUR date);
insert into RDV values (900, 1, '2024-05-01'), (901, 2, '2024-05-02'), (902, 3, null);
create table NOTES (NOTES_ID integer, TEXTE varchar(50), URGENT boolean);
insert into NOTES values (1, 'première', 0);

-- The unique key lets the stand-ins of the servers' procedures add a missing row.
create table ID_VALUES (KEY_NAME varchar(30), LAST_VALUE integer);
create unique index ID_VALUES_KEY on ID_VALUES (KEY_NAME);
create table KRN_SYS_TRACE_LOG (TABLE_NAME varchar(30), REC_ID integer, ACTION varchar(1),
 LOG text, LOG_DATA text);
