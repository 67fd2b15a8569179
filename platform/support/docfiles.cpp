// Data file names of documents.
#include "docfiles.h"

#include "globals.h"
#include "paths.h"

#include <platform/files.h>

#include <QFileInfo>

QString DocumentFileName(int Number, int SourceType)
{
    return AddBackslash(BufDir) + QString::number(uint(Number), 16).toUpper() + QLatin1Char('.') +
           QString::number(uint(SourceType), 16).toUpper();
}

QString FindDocumentFile(int Number, int SourceType)
{
    return files::findNoCase(BufDir, QFileInfo(DocumentFileName(Number, SourceType)).fileName());
}
