#include "platform/SystemHostResolver.h"

#include <QHostInfo>
#include <QTimer>
#include <memory>

namespace {
// One call's answers; whichever of the last answer and the deadline comes first ends it.
struct Round {
    HostResolver::Addresses found;
    qsizetype waiting = 0;
    std::function<void(const HostResolver::Addresses&)> done;

    void finish() {
        if (!done)
            return;
        auto call = std::move(done);
        done = nullptr;
        call(found);
    }
};
} // namespace

void SystemHostResolver::lookUp(const QStringList& names, int timeoutMs,
                                std::function<void(const Addresses&)> done) {
    auto round = std::make_shared<Round>();
    round->done = std::move(done);
    round->waiting = names.size();
    QTimer::singleShot(names.isEmpty() ? 0 : timeoutMs, this, [round] { round->finish(); });
    for (const QString& name : names) {
        QHostInfo::lookupHost(name, this, [round, name](const QHostInfo& info) {
            if (!round->done)
                return;
            if (info.error() == QHostInfo::NoError && !info.addresses().isEmpty())
                round->found.insert(name, info.addresses());
            if (--round->waiting == 0)
                round->finish();
        });
    }
}
