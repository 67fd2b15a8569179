// The workstation service the analysers register their results through and read the serial
// sources from, implemented over the local tables, the document registry, the BFA conversion and
// the main window. Start-up installs it before the serial sources start.
#pragma once

#include <analysers/workstation.h>

class TAppWorkstation final : public WorkstationService
{
public:
    // Raises EInOutError when the registry stored nothing (it has logged why already), so a
    // driver never takes an unregistered result for a stored one.
    int AddImportedFile(int Pack, const QString& FileName, int Cfg, int Pages,
                        const QString& Extension) override;
    // Through the registry's one hand-over (RegisterDocument, moving the file); a result that is
    // not stored is set aside with KeepUnstoredResult.
    int StoreResult(const QString& ResultFile, int SourceNumber,
                    const QString& DocumentType) override;
    // Refills the main window's documents list, when there is a main window.
    void RefreshDocuments(int Number) override;
    // One line per report: patient name, record number, date and time (regional short date and
    // long time formats), separated by tab characters.
    int ReadBFAFile(const QString& FileName, QStringList& Lines) override;
    int CurrentPack() const override;

    // Read with queries on the local tables' database: the shared cursors are not moved.
    QList<SerialSourceRow> SerialSources() override;
    std::optional<SerialSourceRow> SerialSource(int Number) override;
    // Positions the documents table on the row (primary index), edits, posts and writes it to
    // disk (FlushTable). Raises when the row does not exist or was not stored.
    void SetDocumentPatient(int Number, const DocumentPatient& Patient) override;

    // The local tables' DBAccess and DBRequestCommon once the practice database has been
    // connected (ConnectDatabase); null before, and without the local tables.
    TDBAccess* DBAccess() override;
    TDBRequest* DBRequestCommon() override;
};

// The program's one instance.
TAppWorkstation& AppWorkstation();
