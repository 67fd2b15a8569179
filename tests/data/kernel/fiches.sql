-- A table of the cache tests with a column of every kind the caches treat apart (its own
-- UPDATE_ID, a date, a Boolean kept as an integer, a long text, money, a time, a rate, a
-- multi-language text and a coded value), and names to sort: accented, Cyrillic, plain.
insert into METATABLE values ('FICHES', 'FICHES_ID', 0, null, 0, null, 'T');
insert into METAFIELD values
 ('FICHES', 'FICHES_ID', 1, 1, null, 1, 0, 0, null, null, null, 1),
 ('FICHES', 'UPDATE_ID', 0, 1, null, 1, 0, 0, null, null, null, 2),
 ('FICHES', 'NE_LE', 0, 1, null, 5, 0, 0, null, null, null, 3),
 ('FICHES', 'ACTIF', 0, 1, null, 11, 0, 0, null, null, null, 4),
 ('FICHES', 'NOTE', 0, 1, null, 3, 300, 0, null, null, null, 5),
 ('FICHES', 'MONTANT', 0, 1, null, 7, 0, 0, null, null, null, 6),
 ('FICHES', 'HEURE', 0, 1, null, 6, 0, 0, null, null, null, 7),
 ('FICHES', 'TAUX', 0, 1, null, 14, 0, 0, null, null, null, 8),
 ('FICHES', 'LIBELLE', 0, 1, null, 15, 10, 0, null, null, null, 9),
 ('FICHES', 'SEXE', 0, 0, null, 3, 1, 0,
  'LookupKeys=h,f' || char(13, 10) || 'LookupValues=#fra#Homme#rus#Мужчина,#fra#Femme#rus#Женщина',
  null, null, 10),
 ('FICHES', 'NOM', 0, 1, null, 3, 30, 0, null, null, null, 11);
create table FICHES (FICHES_ID integer, UPDATE_ID integer, NE_LE date, ACTIF integer,
 NOTE text, MONTANT money, HEURE datetime, TAUX real, LIBELLE varchar(45), SEXE varchar(1),
 NOM varchar(30));
insert into FICHES values
 (1, 7, '2005-02-01', 1, 'court', 1234.5, '1900-01-01 07:05:00', 12.5, '#fra#Oui#rus#Да', 'f', 'Éloi'),
 (2, 8, null, 0, null, 0, null, null, null, 'h', 'Émile'),
 (3, 9, null, null, null, -1234.5, null, null, null, null, 'Eve'),
 (4, 10, null, null, null, null, null, null, null, null, 'Иванов'),
 (5, 11, null, null, null, null, null, null, null, null, 'Ильин'),
 (6, 12, null, null, null, null, null, null, null, null, 'Петров'),
 (7, 13, null, null, null, null, null, null, null, null, 'Fabre');
