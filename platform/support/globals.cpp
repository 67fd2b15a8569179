// Storage and built-in values of the workstation's program-wide values.
#include "globals.h"

QString ProgName = QStringLiteral("QUORVANE");
QString ProgVersion = QStringLiteral("2.07");
QString ProgBuild = QStringLiteral("B2017-10/10/2016");
QString ProgSubtitle = QStringLiteral("Logiciel de transferts des données médicales");
// Chosen when the program is built (QUORVANE_LANGUAGE); French unless told otherwise.
#ifndef QUORVANE_LANGUAGE
#define QUORVANE_LANGUAGE 1
#endif
unsigned char ProgLanguage = QUORVANE_LANGUAGE;

QString WorkPath;
QString BufDir;
QString ExchangeDir;
QString ComBufDir;
QString DataDir;
QString IniFileName;
QString LogFileName;

QString OrgName1 = QStringLiteral("Клинико-диагностическая лаборатория");
QString OrgName2 = QStringLiteral("Биохимический отдел");
QString OrgInfo1 = QStringLiteral("Почтовый адрес: не указан");
QString OrgInfo2 = QStringLiteral("Телефон/факс: не указан");

bool PracticeDBInUse = false;
