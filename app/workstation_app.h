// The workstation service the analyser drivers register their results through, implemented over
// the document registry and the main window. Start-up installs it before the serial sources start.
#pragma once

#include <analysers/workstation.h>

class TAppWorkstation final : public WorkstationService
{
public:
    // Raises EInOutError when the registry stored nothing (it has reported why already), so a
    // driver keeps its file and never takes an unregistered result for a stored one.
    int AddImportedFile(int Pack, const QString& FileName, int Cfg, int Pages,
                        const QString& Extension) override;
    // Through the registry's one hand-over (RegisterDocument, moving the file); a result that is
    // not stored is set aside with KeepUnstoredResult.
    int StoreResult(const QString& ResultFile, int SourceNumber,
                    const QString& DocumentType) override;
    void RefreshDocuments(int Number) override;
    // One line per report: patient name, record number, date and time (regional short date and
    // long time formats), separated by tab characters.
    int ReadBFAFile(const QString& FileName, QStringList& Lines) override;
    int CurrentPack() const override;
};

// The program's one instance.
TAppWorkstation& AppWorkstation();
