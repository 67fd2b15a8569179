// The printer-queue backend in use, its choice by setting, and the backend that does nothing.
#include "printqueue.h"

#include "support/logfile.h"

#include <QSet>

namespace printqueue {

namespace {

class InertBackend final : public Backend
{
public:
    QString name() const override { return QStringLiteral("none"); }
    Outcome control(const QString& queue, Command) override
    {
        logOncePerQueue(name(), queue,
                        QStringLiteral("Print queue \"%1\" is left as it is: no queue control is "
                                       "configured, so it is neither paused, resumed nor purged")
                            .arg(queue));
        return {Outcome::Skipped, 0, QString()};
    }
};

std::unique_ptr<Backend>& slot()
{
    static std::unique_ptr<Backend> backend = makeInert();
    return backend;
}

} // namespace

Backend& current()
{
    return *slot();
}

void setCurrent(std::unique_ptr<Backend> backend)
{
    slot() = backend ? std::move(backend) : makeInert();
}

std::unique_ptr<Backend> makeInert()
{
    return std::make_unique<InertBackend>();
}

#ifndef QUORVANE_HAVE_CUPS
std::unique_ptr<Backend> makeCups()
{
    return nullptr;
}
#endif

bool select(const QString& setting)
{
    if (setting.trimmed().compare(QLatin1String("CUPS"), Qt::CaseInsensitive) != 0) {
        setCurrent(nullptr);
        return true;
    }
    std::unique_ptr<Backend> cups = makeCups();
    if (!cups) {
        WriteToLog(QStringLiteral("Print queues are not controlled: this build has no CUPS"));
        setCurrent(nullptr);
        return false;
    }
    setCurrent(std::move(cups));
    return true;
}

void logOncePerQueue(const QString& backend, const QString& queue, const QString& text)
{
    static QSet<QString> logged;
    const QString key = backend + QLatin1Char('\n') + queue + QLatin1Char('\n') + text;
    if (logged.contains(key))
        return;
    logged.insert(key);
    WriteToLog(text);
}

} // namespace printqueue
