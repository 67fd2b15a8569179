-- The sample of the metadata and access component tests: three tables and a view with their
-- fields, links and labels in French and Russian, and VERSION rows matching the modules the tests
-- register (DBKERNEL 7, DATABASE 207).
insert into VERSION values ('DBKERNEL', 7), ('DATABASE', 207);

-- VISITS has a French label and an empty English one; MEDECINS one label for every language;
-- V_PATIENTS is a view on PATIENTS.
insert into METATABLE values
 ('PATIENTS', 'PATIENTS_ID', 0, 'Label=#fra#Patients#rus#Пациенты' || char(13) || char(10) || 'Color=blue', 1, null, 'T'),
 ('MEDECINS', 'MEDECINS_ID', 1, 'Label=Médecins', 0, null, 'T'),
 ('VISITS', 'VISITS_ID', 0, 'Label=#fra#Visites#eng#', 0, null, 'T'),
 ('V_PATIENTS', 'PATIENTS_ID', 0, null, 0, 'PATIENTS', 'V');

-- Fields, written out of ORD order. NOTHERE describes no table and sorts between two that do;
-- "visits" is written in lower case.
-- TABLE_NAME, FIELD_NAME, REQUIRED, VISIBLE, METATYPE, DATATYPE, FSIZE, FPREC, CUSTOM, ORIGIN,
-- NATIVE_NAME, ORD
insert into METAFIELD values
 ('PATIENTS', 'NOM', 1, 1, null, 3, 30, 0, null, null, null, 2),
 ('PATIENTS', 'PATIENTS_ID', 1, 1, null, 1, 0, 0, 'Label=#fra#Numéro#rus#Номер', null, null, 1),
 ('PATIENTS', 'SEXE', 0, 1, null, 1, 0, 0, 'LookupKeys=1,2' || char(10) || 'LookupValues=#fra#Homme#rus#Мужской,#fra#Femme#rus#Женский', null, null, 3),
 ('PATIENTS', 'MEDECINS_ID', 0, 0, null, 1, 0, 0, null, null, null, 4),
 ('NOTHERE', 'X', 0, 1, null, 1, 0, 0, null, null, null, 1),
 ('MEDECINS', 'MEDECINS_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('MEDECINS', 'NOM', 1, 1, null, 3, 40, 0, null, null, null, 2),
 ('VISITS', 'VISITS_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('VISITS', 'PATIENTS_ID', 1, 1, null, 1, 0, 0, null, null, null, 2),
 ('VISITS', 'MEDECINS_ID', 0, 1, null, 1, 0, 0, null, null, null, 3),
 ('visits', 'MONTANT', 0, 1, 'money', 7, 20, 4, null, null, null, 4),
 ('V_PATIENTS', 'PATIENTS_ID', 1, 1, null, 1, 0, 0, null, 'PATIENTS', 'PATIENTS_ID', 1),
 ('V_PATIENTS', 'NOM', 0, 1, null, 3, 30, 0, null, 'PATIENTS', 'NOM', 2);

-- Links, read in this order (IDs 1, 2, 3).
insert into TABLELINK values
 ('PATIENTS', 'VISITS', 'PATIENTS_ID', 'PATIENTS_ID', 'Cascade', 'Label=#fra#Visites du patient#rus#Визиты пациента'),
 ('MEDECINS', 'VISITS', 'MEDECINS_ID', 'MEDECINS_ID', 'c', null),
 ('MEDECINS', 'PATIENTS', 'MEDECINS_ID', 'MEDECINS_ID', 'N', null);
