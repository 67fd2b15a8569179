// The compiled-in Russian captions of the standard French buttons and menu items.
#pragma once

#include <QString>

class QMetaObject;

// ExtTranslateProc of language 2: `result` becomes the default text, or its Russian caption when
// the default is one of the standard French captions (compared exactly); true when it is.
bool TranslateCaptionRUS(const QMetaObject* formClass, const QString& name,
                         const QString& defaultText, QString& result);

// The program's subtitle (its caption's third part and the about box's) under language 2.
QString SubtitleRUS();
