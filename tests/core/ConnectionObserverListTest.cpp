#include "core/ConnectionObserverList.h"

#include <gtest/gtest.h>

namespace {

// Keeps the gate it is handed, to open or close it when the test says.
class HeldGate final : public ConnectionObserver {
public:
    void attemptStarting(const QList<std::shared_ptr<ServerData>>&, AttemptGate gate) override {
        held = std::move(gate);
    }
    void tunnelConnected() override {}
    void userDisconnected() override {}
    void quitting() override {}

    AttemptGate held;
};

struct Outcome {
    int proceeded = 0;
    QStringList refusals;
};

AttemptGate recordingGate(Outcome& outcome) {
    return {[&outcome] { ++outcome.proceeded; },
            [&outcome](const QString& reason) { outcome.refusals << reason; }};
}

// The attempt goes ahead once, and only after every observer let it; a refusal ends it
// once, whatever the others say before or after.
TEST(ConnectionObserverListTest, Gate_OpensOnceAllLetItAndClosesOnTheFirstRefusal) {
    const struct {
        const char* name;
        QList<int> order; // observer index; negative: that observer refuses
        int proceeded;
        QStringList refusals;
    } cases[] = {{"both let it, in any order", {1, 0}, 1, {}},
                 {"one still waits", {0}, 0, {}},
                 {"a refusal after one let it", {0, -2}, 0, {"2"}},
                 {"a refusal, then the other lets it", {-1, 1}, 0, {"1"}},
                 {"both refuse", {-1, -2}, 0, {"1"}}};
    for (const auto& c : cases) {
        HeldGate first;
        HeldGate second;
        ConnectionObserverList list({&first, &second});
        Outcome outcome;
        list.attemptStarting({}, recordingGate(outcome));
        HeldGate* observers[] = {&first, &second};
        for (const int step : c.order) {
            if (step >= 0)
                observers[step]->held.proceed();
            else
                observers[-step - 1]->held.refuse(QString::number(-step));
        }
        EXPECT_EQ(outcome.proceeded, c.proceeded) << c.name;
        EXPECT_EQ(outcome.refusals, c.refusals) << c.name;
    }
}

TEST(ConnectionObserverListTest, NoObservers_TheAttemptGoesAhead) {
    ConnectionObserverList list({});
    Outcome outcome;
    list.attemptStarting({}, recordingGate(outcome));
    EXPECT_EQ(outcome.proceeded, 1);
}

} // namespace
