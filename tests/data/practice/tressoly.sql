-- The practice database of the workstation tests, written by hand: the kernel's tables with the
-- versions of a practice at 2.07 (kernel 7), the description of PATIENTS and MEDECINS, the cache
-- versions of the metadata, the identifiers handed out so far and thirty patients. Among them
-- names that begin alike (DU, DUBOIS, DUPONT, DURAND), accented and Cyrillic names, and one
-- patient without first name.
create table VERSION (MODULE varchar(30), VERSION integer);
insert into VERSION values ('DBKERNEL', 7), ('DATABASE', 207);

create table _KRN_SYS_FLAGS (FLAG varchar(30), VALUE varchar(30));
insert into _KRN_SYS_FLAGS values ('USE_BOOLEAN_CHAR', '0');

create table METATABLE (TABLE_NAME varchar(30), KEY_FIELDS varchar(50), SYSTEM boolean,
 CUSTOM clob, TRACE_LOG boolean, BASE_TABLE varchar(30), OBJECT_KIND varchar(1));
insert into METATABLE values
 ('PATIENTS', 'PATIENTS_ID', 0, 'Label=Patients', 0, null, 'T'),
 ('MEDECINS', 'MEDECINS_ID', 0, 'Label=Médecins', 0, null, 'T');

-- TABLE_NAME, FIELD_NAME, REQUIRED, VISIBLE, METATYPE, DATATYPE, FSIZE, FPREC, CUSTOM, ORIGIN,
-- NATIVE_NAME, ORD (types: 1 integer, 3 string, 5 date)
create table METAFIELD (TABLE_NAME varchar(30), FIELD_NAME varchar(30), REQUIRED boolean,
 VISIBLE boolean, METATYPE varchar(30), DATATYPE integer, FSIZE integer, FPREC integer,
 CUSTOM clob, ORIGIN varchar(30), NATIVE_NAME varchar(30), ORD integer);
insert into METAFIELD values
 ('PATIENTS', 'PATIENTS_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('PATIENTS', 'NOM', 1, 1, null, 3, 30, 0, 'Label=Nom', null, null, 2),
 ('PATIENTS', 'PRENOM', 0, 1, null, 3, 30, 0, 'Label=Prénom', null, null, 3),
 ('PATIENTS', 'NE_LE', 0, 1, null, 5, 0, 0, 'Label=Né le', null, null, 4),
 ('PATIENTS', 'N_OMON', 0, 1, null, 1, 0, 0, null, null, null, 5),
 ('PATIENTS', 'MEDECINS_ID', 0, 1, null, 1, 0, 0, null, null, null, 6),
 ('MEDECINS', 'MEDECINS_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('MEDECINS', 'NOM', 1, 1, null, 3, 40, 0, null, null, null, 2);

create table TABLELINK (PARENT varchar(30), CHILD varchar(30), KEY_FIELDS varchar(50),
 REF_FIELDS varchar(50), DEL_ACT varchar(1), CUSTOM clob);
insert into TABLELINK values ('MEDECINS', 'PATIENTS', 'MEDECINS_ID', 'MEDECINS_ID', 'N', null);

create table CACHESYS (ALIAS varchar(30), VERSION integer, UPDATE_ID integer);
insert into CACHESYS values ('meta_tables', 3, null), ('meta_fields', 3, null),
 ('meta_links', 1, null);

create table ID_VALUES (KEY_NAME varchar(30), LAST_VALUE integer);
insert into ID_VALUES values ('PATIENTS', 30), ('MEDECINS', 2);

create table MEDECINS (MEDECINS_ID integer, NOM varchar(40));
insert into MEDECINS values (1, 'MARTIN'), (2, 'PETIT');

create table PATIENTS (PATIENTS_ID integer, NOM varchar(30), PRENOM varchar(30), NE_LE date,
 N_OMON integer, MEDECINS_ID integer);
insert into PATIENTS values
 (1, 'DUPONT', 'JEAN', '1950-03-12', 123, 1),
 (2, 'DU', 'MARC', '1971-06-02', null, 1),
 (3, 'DUBOIS', 'ANNE', '1961-01-01', 77, 2),
 (4, 'DURAND', 'LÉA', '1980-02-01', null, 2),
 (5, 'EDUARD', 'PAUL', '1949-11-30', null, 1),
 (6, 'ÉTIENNE', 'LOUISE', '1990-07-14', 5, null),
 (7, 'ДУБОВ', 'ИВАН', '1958-04-21', null, 2),
 (8, 'LEGRAND', null, '1966-09-09', null, 1),
 (9, 'MARTIN', 'LUC', '1975-05-05', 12, 1),
 (10, 'BERNARD', 'CLAIRE', '1982-12-24', null, 2),
 (11, 'THOMAS', 'JULIE', '1993-03-03', null, null),
 (12, 'PETIT', 'HUGO', '2001-08-18', null, 2),
 (13, 'ROBERT', 'EMMA', '1999-10-10', null, 1),
 (14, 'RICHARD', 'LOUIS', '1944-02-29', 8, 1),
 (15, 'LEROY', 'ÉRIC', '1970-01-15', null, 2),
 (16, 'MOREAU', 'CHLOÉ', '1988-06-30', null, null),
 (17, 'SIMON', 'NATHAN', '2010-04-01', null, 1),
 (18, 'LAURENT', 'INÈS', '1977-07-07', null, 2),
 (19, 'LEFEBVRE', 'GABRIEL', '1962-11-11', null, 1),
 (20, 'MICHEL', 'SARAH', '1985-09-19', null, 2),
 (21, 'GARCIA', 'LUCAS', '1991-05-25', null, 1),
 (22, 'DAVID', 'CAMILLE', '1968-03-08', null, 2),
 (23, 'BERTRAND', 'JULES', '1955-12-01', null, 1),
 (24, 'ROUX', 'MANON', '1997-02-14', null, null),
 (25, 'VINCENT', 'ADAM', '2005-06-06', null, 2),
 (26, 'FOURNIER', 'ZOÉ', '1983-08-08', null, 1),
 (27, 'MOREL', 'RAPHAËL', '1974-10-31', null, 2),
 (28, 'GIRARD', 'ALICE', '1959-01-20', null, 1),
 (29, 'ANDRÉ', 'TOM', '1946-07-04', null, 2),
 (30, 'MERCIER', 'LÉON', '1987-04-17', null, 1);
