// Database aliases: a name standing for a driver ("MSSQL", "ORACLE" or "STANDARD") and its
// connection parameters, kept in an INI file so that the program, its setup and other tools share
// them.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Connection parameters by name ("SERVER NAME", "DATABASE NAME", "USER NAME", "PASSWORD",
// "LANGDRIVER", "PATH", ...). Names are kept in upper case, so they match whatever case a caller
// writes them in.
class ConnectionParams
{
public:
    QString value(const QString& name, const QString& def = QString()) const;
    void setValue(const QString& name, const QString& value);
    bool contains(const QString& name) const;
    void remove(const QString& name);
    void clear() { m_values.clear(); }
    bool isEmpty() const { return m_values.isEmpty(); }
    QStringList names() const { return m_values.keys(); }
    // "NAME=VALUE" lines, and the same read back (lines without "=" are ignored).
    QStringList toLines() const;
    static ConnectionParams fromLines(const QStringList& lines);
    friend bool operator==(const ConnectionParams& a, const ConnectionParams& b)
    {
        return a.m_values == b.m_values;
    }

private:
    QMap<QString, QString> m_values;
};

// Standard parameter names.
namespace DbParam {
inline const QString ServerName = QStringLiteral("SERVER NAME");
inline const QString DatabaseName = QStringLiteral("DATABASE NAME");
inline const QString UserName = QStringLiteral("USER NAME");
inline const QString Password = QStringLiteral("PASSWORD");
inline const QString LangDriver = QStringLiteral("LANGDRIVER");
// STANDARD: the folder of the database (or the database file itself).
inline const QString Path = QStringLiteral("PATH");
// Milliseconds a statement waits for another connection's lock before it reports 0x2B33.
inline const QString BusyTimeout = QStringLiteral("BUSY TIMEOUT");
} // namespace DbParam

// The alias file: one section per alias, its key "TYPE" naming the driver and one key per
// parameter. Every call reads the file afresh and every change is on disk when the call returns.
class AliasRegistry
{
public:
    explicit AliasRegistry(const QString& fileName);

    // The program's alias file: "aliases.ini" in the user's configuration folder, unless a path
    // was set (tests and the setup utility set one).
    static AliasRegistry global();
    static QString globalFileName();
    static void setGlobalFileName(const QString& fileName);

    QString fileName() const { return m_fileName; }
    // Alias names compare without regard to case.
    bool exists(const QString& alias) const;
    QStringList names() const;
    // The driver name as stored, empty when the alias does not exist.
    QString driverName(const QString& alias) const;
    ConnectionParams params(const QString& alias) const;

    // Adds an alias; raises Exception "Alias 'NAME' already exists" when it exists, and
    // EConvertError for a name or value the file cannot hold (nothing is written then).
    void add(const QString& alias, const QString& driverName, const ConnectionParams& params);
    // Replaces the driver and parameters of an alias, creating it when missing.
    void modify(const QString& alias, const QString& driverName, const ConnectionParams& params);
    void remove(const QString& alias);

private:
    QString m_fileName;
};

// The aliases of the database engine's session: made by the program for its own run, kept in
// memory only (the alias file and other programs never see them) and looked up before the alias
// file, so that a session alias hides a file alias of the same name. Names compare without regard
// to case.
namespace SessionAliases {
bool exists(const QString& alias);
// Adds or replaces an alias of the session.
void add(const QString& alias, const QString& driverName, const ConnectionParams& params);
void remove(const QString& alias);
// Every alias of the session goes (tests).
void clear();
} // namespace SessionAliases

// An alias as connections resolve it: the session's, else the alias file's.
bool aliasExists(const QString& alias);
QString aliasDriverName(const QString& alias);
ConnectionParams aliasParams(const QString& alias);
