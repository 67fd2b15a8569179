// The report settings component and the engine's process-wide values.
#include "repproc.h"

#include "rconst.h"
#include "repf1.h"

#include <platform/ui/workbookview.h>
#include <translation/lc.h>

#include <platform/codepage.h>
#include <platform/registry.h>

#include <QDir>

QString ImagesDir;
int TotalDefsCounter = 0;
int AccItemCounter = 0;
std::function<TLC*()> OnGetReportLC = ReportEngineLC;
QPointer<TLC> ReportLC;
bool ReportLCObtained = false;

namespace {

const std::pair<const char*, const char*> Texts[] = {
    {"Rep.Merging", "Fusion"},
    {"Rep.Creating", "Génération"},
    {"Rep.F1Error", "Chargement de Formula One échoué: %s"},
    {"Rep.Caption", "Plusieurs reports"},
};

const char* const ModeTexts[] = {"Formula One", "Remote", "Excel 97"};

QString withSeparator(const QString& folder)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        return folder;
    return folder + QLatin1Char('/');
}

int hexDigit(QChar c)
{
    const int v = QStringLiteral("0123456789ABCDEF").indexOf(c.toUpper());
    return c.unicode() < 128 ? v : -1;
}

} // namespace

QString RepText(const QString& name)
{
    for (const auto& [key, text] : Texts) {
        if (name == QLatin1String(key))
            return QString::fromUtf8(text);
    }
    return QString();
}

TReportServer::TReportServer(QObject* owner) : QObject(owner)
{
}

TReportServer::~TReportServer()
{
    SetActive(false);
}

QString TReportServer::registryKey() const
{
    return QStringLiteral("Software\\") + m_regPath;
}

QString TReportServer::ReadRegString(const QString& name, const QString& def) const
{
    if (m_regPath.isEmpty())
        return def;
    return userregistry::readString(registryKey(), name, def);
}

void TReportServer::WriteRegString(const QString& name, const QString& value) const
{
    if (!m_regPath.isEmpty())
        userregistry::writeString(registryKey(), name, value);
}

void TReportServer::writeQuietly(const QString& name, const QString& value) const
{
    try {
        WriteRegString(name, value);
    } catch (const Exception&) {
        // The settings stay in force for this run; only their memory is lost.
    }
}

void TReportServer::SetTempDir(const QString& folder)
{
    m_tempDir = withSeparator(folder);
    writeQuietly(QStringLiteral("TempDir"), m_tempDir);
}

void TReportServer::SetTemplateDir(const QString& folder)
{
    m_templateDir = withSeparator(folder);
    writeQuietly(QStringLiteral("Template"), m_templateDir);
}

void TReportServer::SetServerMode(TServerMode mode)
{
    if (mode != m_serverMode)
        SetActive(false);
    m_serverMode = mode;
    writeQuietly(QStringLiteral("ServerMode"), QLatin1String(ModeTexts[mode]));
}

void TReportServer::SetRegPath(const QString& path)
{
    if (path == m_regPath) {
        SetTempDir(m_tempDir);
        SetTemplateDir(m_templateDir);
        SetServerMode(m_serverMode);
        return;
    }
    m_regPath = path;
    if (path.isEmpty())
        return;
    m_tempDir = ReadRegString(QStringLiteral("TempDir"), m_tempDir);
    m_templateDir = ReadRegString(QStringLiteral("Template"), m_templateDir);
    const QString mode =
        ReadRegString(QStringLiteral("ServerMode"), QLatin1String(ModeTexts[m_serverMode]));
    m_serverMode = mode == QLatin1String(ModeTexts[smExcel]) ? smExcel
                   : mode == QLatin1String(ModeTexts[smF1])  ? smF1
                                                             : smRemote;
}

void TReportServer::SetActive(bool active)
{
    if (active && m_active)
        return;
    m_active = active;
    m_reportNames.clear();
    if (!active)
        return;
    if (m_serverMode == smF1) {
        if (!fF1Processor) {
            try {
                fF1Processor = CreateF1Processor();
            } catch (const Exception& e) {
                // Inactive again, so that a later activation tries once more.
                m_active = false;
                throw EReportException(RepText(QStringLiteral("Rep.F1Error"))
                                           .replace(QStringLiteral("%s"), e.message()));
            }
        }
        fF1Processor->F1Viewer->SetRepaintFlag(false);
    }
    LoadReportList();
    if (OnActivate)
        OnActivate(*this);
}

void TReportServer::LoadReportList()
{
    m_reportNames.clear();
    const QString folder = m_tempDir.isEmpty() ? QStringLiteral(".") : m_tempDir;
    const QStringList files =
        QDir(folder).entryList({QStringLiteral("*.REP")}, QDir::Files | QDir::Hidden | QDir::System,
                               QDir::Name | QDir::IgnoreCase);
    for (const QString& file : files) {
        const QString upper = file.toUpper();
        m_reportNames.append(DecodeReportFileName(upper.left(upper.indexOf(QLatin1Char('.')))));
    }
}

Variant TReportServer::GetParamValue(const TReportParams& report, const QString& name)
{
    return report.value(name.toUpper(), Variant::null());
}

QString TReportServer::DecodeReportFileName(const QString& name)
{
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name.at(i) != QLatin1Char('%')) {
            out += name.at(i);
            continue;
        }
        const QString digits = name.mid(i + 1, 2);
        i += digits.size();
        int code = 0;
        if (digits.size() == 2 && hexDigit(digits.at(0)) >= 0 && hexDigit(digits.at(1)) >= 0)
            code = hexDigit(digits.at(0)) * 16 + hexDigit(digits.at(1));
        out += code == 0 ? QChar(0) : codepage::fromAnsi(QByteArray(1, char(code))).at(0);
    }
    return out;
}
