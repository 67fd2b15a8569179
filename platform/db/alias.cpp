// Connection parameters and the alias file.
#include "alias.h"

#include <platform/exception.h>
#include <platform/inifile.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString TypeKey = QStringLiteral("TYPE");

// Names the file could not hold as written (IniFile would refuse them half-way through a change).
bool storableName(const QString& name, bool section)
{
    if (name.trimmed().isEmpty() || name.contains(QLatin1Char('\n')) ||
        name.contains(QLatin1Char('\r')) || !codepage::canEncode(name, codepage::current()))
        return false;
    if (section)
        return !name.contains(QLatin1Char(']'));
    return !name.contains(QLatin1Char('=')) && !name.startsWith(QLatin1Char('[')) &&
           !name.startsWith(QLatin1Char(';'));
}

QString& globalPath()
{
    static QString path;
    return path;
}

struct SessionAlias
{
    QString driverName;
    ConnectionParams params;
};

// By upper-cased name.
QMap<QString, SessionAlias>& sessionAliases()
{
    static QMap<QString, SessionAlias> aliases;
    return aliases;
}

const SessionAlias* sessionAlias(const QString& alias)
{
    const auto found = sessionAliases().constFind(alias.toUpper());
    return found == sessionAliases().cend() ? nullptr : &*found;
}

} // namespace

QString ConnectionParams::value(const QString& name, const QString& def) const
{
    return m_values.value(name.trimmed().toUpper(), def);
}

void ConnectionParams::setValue(const QString& name, const QString& value)
{
    m_values.insert(name.trimmed().toUpper(), value);
}

bool ConnectionParams::contains(const QString& name) const
{
    return m_values.contains(name.trimmed().toUpper());
}

void ConnectionParams::remove(const QString& name)
{
    m_values.remove(name.trimmed().toUpper());
}

QStringList ConnectionParams::toLines() const
{
    QStringList lines;
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
        lines.append(it.key() + QLatin1Char('=') + it.value());
    return lines;
}

ConnectionParams ConnectionParams::fromLines(const QStringList& lines)
{
    ConnectionParams p;
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            p.setValue(line.left(eq), line.mid(eq + 1));
    }
    return p;
}

AliasRegistry::AliasRegistry(const QString& fileName) : m_fileName(fileName)
{
}

AliasRegistry AliasRegistry::global()
{
    return AliasRegistry(globalFileName());
}

QString AliasRegistry::globalFileName()
{
    if (!globalPath().isEmpty())
        return globalPath();
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/aliases.ini");
}

void AliasRegistry::setGlobalFileName(const QString& fileName)
{
    globalPath() = fileName;
}

bool AliasRegistry::exists(const QString& alias) const
{
    return IniFile(m_fileName).sectionExists(alias);
}

QStringList AliasRegistry::names() const
{
    return IniFile(m_fileName).readSections();
}

QString AliasRegistry::driverName(const QString& alias) const
{
    return IniFile(m_fileName).readString(alias, TypeKey);
}

ConnectionParams AliasRegistry::params(const QString& alias) const
{
    const IniFile ini(m_fileName);
    ConnectionParams p;
    for (const QString& key : ini.readSection(alias)) {
        if (key.compare(TypeKey, Qt::CaseInsensitive) != 0)
            p.setValue(key, ini.readString(alias, key));
    }
    return p;
}

void AliasRegistry::add(const QString& alias, const QString& driverName,
                        const ConnectionParams& params)
{
    if (exists(alias))
        throw Exception(QStringLiteral("Alias '%1' already exists").arg(alias));
    modify(alias, driverName, params);
}

void AliasRegistry::modify(const QString& alias, const QString& driverName,
                           const ConnectionParams& params)
{
    QDir().mkpath(QFileInfo(m_fileName).absolutePath());
    IniFile ini(m_fileName);
    // Validate every name and value before the first write, so a refused one leaves no half alias.
    if (!storableName(alias, true))
        throw EConvertError(QStringLiteral("'%1' is not a valid alias name").arg(alias));
    for (const QString& name : params.names()) {
        if (name.compare(TypeKey, Qt::CaseInsensitive) == 0 || !storableName(name, false))
            throw EConvertError(QStringLiteral("'%1' is not a parameter name").arg(name));
        const QString value = params.value(name);
        if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
            throw EConvertError(
                QStringLiteral("The value of parameter '%1' holds a line break").arg(name));
    }
    if (ini.sectionExists(alias))
        ini.eraseSection(alias);
    ini.writeString(alias, TypeKey, driverName);
    for (const QString& name : params.names())
        ini.writeString(alias, name, params.value(name));
}

void AliasRegistry::remove(const QString& alias)
{
    IniFile(m_fileName).eraseSection(alias);
}

bool SessionAliases::exists(const QString& alias)
{
    return sessionAlias(alias) != nullptr;
}

void SessionAliases::add(const QString& alias, const QString& driverName,
                         const ConnectionParams& params)
{
    sessionAliases().insert(alias.toUpper(), {driverName, params});
}

void SessionAliases::remove(const QString& alias)
{
    sessionAliases().remove(alias.toUpper());
}

void SessionAliases::clear()
{
    sessionAliases().clear();
}

bool aliasExists(const QString& alias)
{
    return SessionAliases::exists(alias) || AliasRegistry::global().exists(alias);
}

QString aliasDriverName(const QString& alias)
{
    if (const SessionAlias* session = sessionAlias(alias))
        return session->driverName;
    return AliasRegistry::global().driverName(alias);
}

ConnectionParams aliasParams(const QString& alias)
{
    if (const SessionAlias* session = sessionAlias(alias))
        return session->params;
    return AliasRegistry::global().params(alias);
}
