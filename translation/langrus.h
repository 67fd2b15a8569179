// The compiled-in Russian captions of the standard French buttons and menu items.
#pragma once

#include <QString>

class QMetaObject;

// ExtTranslateProc of language 2: replaces `result` when the default text has a Russian caption.
bool TranslateCaptionRUS(const QMetaObject* formClass, const QString& name,
                         const QString& defaultText, QString& result);
