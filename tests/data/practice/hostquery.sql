-- The laboratory side of the practice database for the analysers' host queries, written by hand,
-- run after tressoly.sql: the requests (PATDIREC) with their bar codes, the services they order
-- and the laboratory tests behind them (device 1 the Hitachi 911, device 2 the 912), and the
-- imported results already in. Patients and doctors for the short names.
alter table PATIENTS add column PATRONYME varchar(30);
alter table PATIENTS add column POL integer;
alter table MEDECINS add column PRENOM varchar(30);

insert into MEDECINS (MEDECINS_ID, NOM, PRENOM) values
 (3, ' XYZ ', 'uv wx'),
 (4, 'сидоров', null);

insert into PATIENTS (PATIENTS_ID, NOM, PRENOM, PATRONYME, NE_LE, N_OMON, MEDECINS_ID, POL) values
 (31, 'ABCDEF', 'ghi', 'jkl', '1960-01-01', 4711, 3, 0),
 (32, 'LEGRAND', null, null, '1966-09-09', null, 1, 1),
 (33, null, 'marie', null, '1970-05-05', 12, null, 2),
 (34, 'иванова', 'анна', 'петровна', '1955-03-08', 815, 4, 1),
 (35, 'ШАХНАЗАРОВА-ЧЕРНЫШЕВСКАЯ', 'ОЛЬГА', null, '1999-12-31', 77, 3, 1);

-- The kernel knows the requests' table: the warm-up loads a range of it by key.
insert into METATABLE values ('PATDIREC', 'PATDIREC_ID', 0, 'Label=Directions', 0, null, 'T');
insert into METAFIELD values
 ('PATDIREC', 'PATDIREC_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('PATDIREC', 'PATIENTS_ID', 0, 1, null, 1, 0, 0, null, null, null, 2),
 ('PATDIREC', 'MEDECINS_CREATOR_ID', 0, 1, null, 1, 0, 0, null, null, null, 3),
 ('PATDIREC', 'BIO_CODE', 0, 1, null, 3, 20, 0, null, null, null, 4);

create table PATDIREC (PATDIREC_ID integer, PATIENTS_ID integer, MEDECINS_CREATOR_ID integer,
 BIO_CODE varchar(20));
insert into PATDIREC values
 (1, 31, 3, 'S100'),
 (2, 32, 4, 'S200'),
 (3, 33, null, 'S300'),
 (4, 34, 4, 'S400'),
 (5, 35, 3, 'S500');

create table DIR_SERV (PATDIREC_ID integer, FM_SERV_ID integer);
insert into DIR_SERV values (1, 10), (1, 11), (1, 12), (5, 12);

create table LAB_TESTSERV (FM_SERV_ID integer, LAB_TESTS_ID integer);
insert into LAB_TESTSERV values (10, 100), (10, 101), (11, 102), (12, 103), (12, 104);

create table LAB_TESTS (LAB_TESTS_ID integer, TEST_INDEX integer, CODE varchar(20),
 LAB_DEV_ID integer);
insert into LAB_TESTS values
 (100, 1, 'GLU', 1),
 (101, 5, 'UREA', 1),
 (102, 7, 'CREA', 2),
 (103, 12, 'ALT', 1),
 (104, 48, 'AST', 1);

create table IMPDATA (IMPDATA_ID integer, KEYCODE varchar(20));
insert into IMPDATA values (1, 'S100'), (2, 'S999');

create table DS_TESTS (DS_TESTS_ID integer, NUM integer, CODE varchar(20));
insert into DS_TESTS values (1, 5, 'UREA'), (2, 12, 'ALT'), (3, 1, 'GLU');

-- S100: UREA imported in state 0 (not asked again), ALT in state 1 (asked again); GLU was
-- imported for another sample.
create table DS_RESTESTS (IMPDATA_ID integer, DS_TESTS_ID integer, STATE integer);
insert into DS_RESTESTS values (1, 1, 0), (1, 2, 1), (2, 3, 0);
