// A printer-queue backend for tests: it records every command and answers as told.
#pragma once

#include <platform/printqueue.h>

#include <QList>
#include <QStringList>

class FakePrintQueue final : public printqueue::Backend
{
public:
    // The commands received, as "Pause Q", "Resume Q" or "Purge Q".
    QStringList calls;
    // The answer to every command (Done unless changed).
    printqueue::Outcome answer;

    QString name() const override { return QStringLiteral("fake"); }
    printqueue::Outcome control(const QString& queue, printqueue::Command command) override;
};

// Puts a fake in use for one scope and the inert backend back at its end. The fake stays owned
// by the backend slot; `fake` points at it.
class ScopedFakePrintQueue
{
public:
    ScopedFakePrintQueue();
    ~ScopedFakePrintQueue();
    ScopedFakePrintQueue(const ScopedFakePrintQueue&) = delete;
    ScopedFakePrintQueue& operator=(const ScopedFakePrintQueue&) = delete;

    FakePrintQueue* fake;
};
