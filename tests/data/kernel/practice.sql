-- The practice of the request tests: patients, doctors, visits (with two links to the doctors:
-- the doctor seen and the one replaced), laboratory and radiology results, their metadata and
-- their rows.
insert into METATABLE values
 ('PATIENTS', 'PATIENTS_ID', 0, null, 0, null, 'T'),
 ('MEDECINS', 'MEDECINS_ID', 0, null, 0, null, 'T'),
 ('VISITS', 'VISITS_ID', 0, null, 0, null, 'T'),
 ('LAB', 'LAB_ID', 0, null, 0, null, 'T'),
 ('RAD', 'RAD_ID', 0, null, 0, null, 'T');

-- TABLE_NAME, FIELD_NAME, REQUIRED, VISIBLE, METATYPE, DATATYPE, FSIZE, FPREC, CUSTOM, ORIGIN,
-- NATIVE_NAME, ORD
insert into METAFIELD values
 ('PATIENTS', 'PATIENTS_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('PATIENTS', 'NOM', 1, 1, null, 3, 30, 0, null, null, null, 2),
 ('PATIENTS', 'MEDECINS_ID', 0, 1, null, 1, 0, 0, null, null, null, 3),
 ('MEDECINS', 'MEDECINS_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('MEDECINS', 'NOM', 1, 1, null, 3, 40, 0, null, null, null, 2),
 ('VISITS', 'VISITS_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('VISITS', 'PATIENTS_ID', 1, 1, null, 1, 0, 0, null, null, null, 2),
 ('VISITS', 'MEDECINS_ID', 1, 1, null, 1, 0, 0, null, null, null, 3),
 ('VISITS', 'REMPL_ID', 0, 1, null, 1, 0, 0, null, null, null, 4),
 ('VISITS', 'MONTANT', 0, 1, null, 7, 0, 0, null, null, null, 5),
 ('LAB', 'LAB_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('LAB', 'PATIENTS_ID', 1, 1, null, 1, 0, 0, null, null, null, 2),
 ('LAB', 'RESULTAT', 0, 1, null, 3, 20, 0, null, null, null, 3),
 ('RAD', 'RAD_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('RAD', 'PATIENTS_ID', 1, 1, null, 1, 0, 0, null, null, null, 2),
 ('RAD', 'CLICHE', 0, 1, null, 3, 20, 0, null, null, null, 3);

insert into TABLELINK values
 ('PATIENTS', 'VISITS', 'PATIENTS_ID', 'PATIENTS_ID', null, null),
 ('MEDECINS', 'VISITS', 'MEDECINS_ID', 'MEDECINS_ID', null, null),
 ('MEDECINS', 'VISITS', 'MEDECINS_ID', 'REMPL_ID', null, null),
 ('MEDECINS', 'PATIENTS', 'MEDECINS_ID', 'MEDECINS_ID', null, null),
 ('PATIENTS', 'LAB', 'PATIENTS_ID', 'PATIENTS_ID', null, null),
 ('PATIENTS', 'RAD', 'PATIENTS_ID', 'PATIENTS_ID', null, null);

create table PATIENTS (PATIENTS_ID integer, NOM varchar(30), MEDECINS_ID integer);
insert into PATIENTS values (1, 'Arnaud', 1), (2, 'Bernard', 2), (3, 'Claude', null), (4, 'Denis', 1);
create table MEDECINS (MEDECINS_ID integer, NOM varchar(40));
insert into MEDECINS values (1, 'Dupont'), (2, 'Martin'), (3, 'Petit');
create table VISITS (VISITS_ID integer, PATIENTS_ID integer, MEDECINS_ID integer, REMPL_ID integer, MONTANT real);
insert into VISITS values (10, 1, 1, 2, 25), (11, 1, 2, null, 30), (12, 2, 1, 3, 45), (13, 4, 3, 1, 20);
create table LAB (LAB_ID integer, PATIENTS_ID integer, RESULTAT varchar(20));
insert into LAB values (100, 1, 'Hb 13'), (101, 2, 'Hb 11');
create table RAD (RAD_ID integer, PATIENTS_ID integer, CLICHE varchar(20));
insert into RAD values (200, 1, 'Thorax'), (201, 3, 'Genou');
