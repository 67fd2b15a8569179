// A scripted dialog service for the length of one test: installed on construction; on
// destruction a script entry left unused fails the test, and the Qt service comes back.
#pragma once

#include <platform/testing/dialogs_scripted.h>

class ScopedScriptedDialogs : public ScriptedDialogs
{
public:
    ScopedScriptedDialogs();
    ~ScopedScriptedDialogs() override;
    ScopedScriptedDialogs(const ScopedScriptedDialogs&) = delete;
    ScopedScriptedDialogs& operator=(const ScopedScriptedDialogs&) = delete;
};
