// Small workstation routines shared by every layer: INI shortcuts, the error boxes the analyser
// drivers ask with, and the screen's palette size.
#pragma once

#include <platform/variant.h>

#include <QString>

// One integer value through a temporary INI file object.
int ReadIniInteger(const QString& fileName, const QString& section, const QString& key, int def);
// Raises EInOutError when the file cannot be written.
void WriteIniInteger(const QString& fileName, const QString& section, const QString& key,
                     int value);

// An error box with OK and Cancel; true when OK is chosen.
bool ErrorOkCancel(const QString& message);
// The same with the message formatted first (Format rules).
bool ErrorOkCancelFmt(const QString& format, const VariantList& args);

// Number of palette entries of the screen; 0 on screens without a palette (true colour).
int GetScreenPaletteSize();
