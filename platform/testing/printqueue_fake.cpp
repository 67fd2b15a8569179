// The recording printer-queue backend.
#include "printqueue_fake.h"

printqueue::Outcome FakePrintQueue::control(const QString& queue, printqueue::Command command)
{
    static const char* const names[] = {"?", "Pause", "Resume", "Purge"};
    const int n = int(command);
    calls << QStringLiteral("%1 %2").arg(QLatin1String(n >= 1 && n <= 3 ? names[n] : names[0]),
                                         queue);
    return answer;
}

ScopedFakePrintQueue::ScopedFakePrintQueue()
{
    auto owned = std::make_unique<FakePrintQueue>();
    fake = owned.get();
    printqueue::setCurrent(std::move(owned));
}

ScopedFakePrintQueue::~ScopedFakePrintQueue()
{
    printqueue::setCurrent(nullptr);
}
