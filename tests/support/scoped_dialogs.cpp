// The per-test scripted dialog service.
#include "scoped_dialogs.h"

#include <gtest/gtest.h>

ScopedScriptedDialogs::ScopedScriptedDialogs()
{
    setDialogService(this);
}

ScopedScriptedDialogs::~ScopedScriptedDialogs()
{
    const QStringList unused = remaining();
    if (!unused.isEmpty())
        ADD_FAILURE() << "dialog script entries left unused: "
                      << unused.join(QStringLiteral("; ")).toStdString();
    setDialogService(nullptr);
}
