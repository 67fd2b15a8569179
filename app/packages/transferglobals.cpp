// Storage of the transfer's program-wide values.
#include "transferglobals.h"

QString MailServer;
QString MailTo;
QString MailFrom;
QString MailSubject;
QString MailFile;
bool MailFailed = false;
QString MailError;

QString FTPPassword;
bool SavePassword = false;

bool HasDocuments = false;
