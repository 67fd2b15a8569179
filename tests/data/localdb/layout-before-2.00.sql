-- The three local tables the upgrade changes, as an installation from before version 2.00 has
-- them: no DS_CODE among the sources, neither Dossier nor Patient_Nom among the documents, and
-- the first names in a narrow third field of the patients, without the index NomPrenom.
CREATE TABLE "cfg.db" ("Number" INTEGER NOT NULL, "Type" INTEGER, "State" INTEGER, "Titul" VARCHAR(64), "Extension" VARCHAR(16), "NeedId" BOOLEAN, "NeedComment" BOOLEAN, "Warning" INTEGER);
CREATE UNIQUE INDEX "cfg.db$PRIMARY" ON "cfg.db" ("Number");
CREATE INDEX "cfg.db$type_index" ON "cfg.db" ("Type");
INSERT INTO "cfg.db" VALUES (1, 1, 1, 'Dossiers JAEGER', 'JAE', 1, 0, 0);
CREATE TABLE "FILES.DB" ("Number" INTEGER NOT NULL, "Pack" INTEGER, "File_name" VARCHAR(255), "Cfg" INTEGER, "Date" DATE, "Time" TIME, "Type" INTEGER, "Pages" INTEGER, "NeedId" INTEGER, "Patient" INTEGER, "Comment" CLOB, "TComment1" VARCHAR(64), "TComment2" VARCHAR(64));
CREATE UNIQUE INDEX "FILES.DB$PRIMARY" ON "FILES.DB" ("Number");
CREATE INDEX "FILES.DB$NeedId_index" ON "FILES.DB" ("NeedId", "Type");
CREATE INDEX "FILES.DB$type_index" ON "FILES.DB" ("Type");
INSERT INTO "FILES.DB" VALUES (1, 77, 'C:\JAEGER\EXPORT\0001.JAE', 1, '2016-10-10', '09:15:00', 0, 1, 1, 0, NULL, NULL, NULL);
CREATE TABLE "patients.db" ("Patient_ID" INTEGER NOT NULL, "Nom" VARCHAR(32), "Prénom" VARCHAR(20), "Date de naissance" DATE, "N_Dossier" INTEGER);
CREATE UNIQUE INDEX "patients.db$PRIMARY" ON "patients.db" ("Patient_ID");
INSERT INTO "patients.db" VALUES (1, 'DUPONT', 'Jean', '1950-03-04', 12);
INSERT INTO "patients.db" VALUES (2, 'MARTIN', 'Marie-Christine-Alexandra', '1961-11-30', NULL);
INSERT INTO "patients.db" VALUES (3, 'LEFÈVRE', 'Élodie', '1999-01-01', 7);
INSERT INTO "patients.db" VALUES (4, 'INCONNU', NULL, NULL, NULL);
