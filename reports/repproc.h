// The report engine's settings component TReportServer: the folder of report files, the folder
// of report templates and the spreadsheet back end, kept under a key of the current user's
// registry; and the process-wide values of the engine (its texts, the pictures folder).
#pragma once

#include <platform/exception.h>
#include <platform/variant.h>

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

QV_EXCEPTION_CLASS(EReportException, Exception)

class TLC;

// The spreadsheet back end.
enum TServerMode { smF1, smRemote, smExcel };

// The named parameters of a report, by upper-cased name.
using TReportParams = QMap<QString, Variant>;

// The folder of the report pictures ("images.ini" and the picture files), with a trailing
// separator; set by the server data module.
extern QString ImagesDir;

// Serial numbers handed out across the whole program, from 0: one to each report totals
// collection, one to each accumulated item of an aggregate.
extern int TotalDefsCounter;
extern int AccItemCounter;

// Supplies the numbered-text component of the engine's messages (rconst.h); by default the
// engine's own. It is asked once, on the first message: ReportLC keeps what it gave and
// ReportLCObtained tells that it was asked (clear both to ask again).
extern std::function<TLC*()> OnGetReportLC;
extern QPointer<TLC> ReportLC;
extern bool ReportLCObtained;

// The engine's texts by name ("Rep.Merging", "Rep.Creating", "Rep.F1Error", "Rep.Caption");
// empty for any other name.
QString RepText(const QString& name);

class TReportServer : public QObject
{
    Q_OBJECT
public:
    // Inactive, back end smF1, DoTranslate on.
    explicit TReportServer(QObject* owner = nullptr);
    // Deactivates first.
    ~TReportServer() override;

    // The folders end with a separator unless empty. Setting one writes it to the registry
    // (value "TempDir", respectively "Template") under the key; failures are not reported.
    QString TempDir() const { return m_tempDir; }
    void SetTempDir(const QString& folder);
    QString TemplateDir() const { return m_templateDir; }
    void SetTemplateDir(const QString& folder);
    // A new mode deactivates the component first; it is written as "ServerMode" ("Formula One",
    // "Remote", "Excel 97").
    TServerMode ServerMode() const { return m_serverMode; }
    void SetServerMode(TServerMode mode);
    // The key below HKEY_CURRENT_USER\Software where the settings live; empty: they are neither
    // read nor written. A new key reads the three settings from it (the current ones stand for
    // missing values); the same key again writes the current ones back.
    QString RegPath() const { return m_regPath; }
    void SetRegPath(const QString& path);
    // Translation of report texts (not read in this program).
    bool DoTranslate = true;
    // Fired at the end of a successful activation.
    std::function<void(TReportServer& sender)> OnActivate;

    // Activation makes the report viewer once (back end smF1), switches its repainting off,
    // lists the waiting reports and fires OnActivate. A viewer that cannot be made raises
    // EReportException with "Rep.F1Error" and leaves the component inactive.
    bool Active() const { return m_active; }
    void SetActive(bool active);
    // The report files "*.REP" of TempDir (any case), each as its name upper-cased, cut before
    // its first "." and decoded.
    void LoadReportList();
    const QStringList& ReportNames() const { return m_reportNames; }

    // The registry value under the key, `def` when it (or the key) is missing or RegPath is
    // empty. Reading creates nothing.
    QString ReadRegString(const QString& name, const QString& def) const;
    // Writes the value under the key, made when missing; nothing when RegPath is empty.
    void WriteRegString(const QString& name, const QString& value) const;

    // "%" and the (up to) two characters after it become the character of that hexadecimal
    // code (0 when they are not hexadecimal).
    static QString DecodeReportFileName(const QString& name);

    // The value of the report's parameter `name` (looked up upper-cased); Null when absent.
    static Variant GetParamValue(const TReportParams& report, const QString& name);

private:
    QString registryKey() const;
    void writeQuietly(const QString& name, const QString& value) const;

    QString m_tempDir;
    QString m_templateDir;
    TServerMode m_serverMode = smF1;
    QString m_regPath;
    bool m_active = false;
    QStringList m_reportNames;
};
