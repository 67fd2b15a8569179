// The compiled-in Russian captions.
#include "langrus.h"

// Will give the Russian caption of a standard French button or menu text.
bool TranslateCaptionRUS(const QMetaObject*, const QString&, const QString&, QString&)
{
    return false;
}
