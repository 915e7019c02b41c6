#include "core/Subject.h"

#include <QObject>
#include <gtest/gtest.h>
#include <memory>

namespace {
class Listener : public QObject {
public:
    explicit Listener(QString name, QStringList& log) : m_name(std::move(name)), m_log(log) {}
    void onValue(int value) { m_log << QStringLiteral("%1:%2").arg(m_name).arg(value); }

    std::function<void()> duringNotify;
    void onValueThenAct(int value) {
        onValue(value);
        if (duringNotify)
            duringNotify();
    }

private:
    QString m_name;
    QStringList& m_log;
};
} // namespace

TEST(SubjectTest, NotifyWithoutObservers_DoesNothing) {
    Subject<int> subject;
    subject.notify(1);
    EXPECT_EQ(subject.observerCount(), 0);
}

TEST(SubjectTest, NotifyCallsEachSubscriptionInOrder_SameObjectTwice) {
    QStringList log;
    Listener a(QStringLiteral("a"), log);
    Listener b(QStringLiteral("b"), log);
    Subject<int> subject;
    subject.subscribe(&a, &Listener::onValue);
    subject.subscribe(&b, &Listener::onValue);
    subject.subscribe(&a, &Listener::onValue);
    subject.notify(7);
    EXPECT_EQ(log, (QStringList{"a:7", "b:7", "a:7"}));
}

TEST(SubjectTest, ReleasedObserver_IsNotCalledAndIsPrunedAtNotify) {
    QStringList log;
    auto gone = std::make_unique<Listener>(QStringLiteral("gone"), log);
    Listener stays(QStringLiteral("stays"), log);
    Subject<int> subject;
    subject.subscribe(gone.get(), &Listener::onValue);
    subject.subscribe(&stays, &Listener::onValue);
    gone.reset();
    EXPECT_EQ(subject.observerCount(), 2);
    subject.notify(3);
    EXPECT_EQ(log, (QStringList{"stays:3"}));
    EXPECT_EQ(subject.observerCount(), 1);
}

TEST(SubjectTest, Unsubscribe_RemovesOnlyThatRecordAndIgnoresStrangers) {
    QStringList log;
    Listener a(QStringLiteral("a"), log);
    Subject<int> subject;
    auto first = subject.subscribe(&a, &Listener::onValue);
    subject.subscribe(&a, &Listener::onValue);
    subject.unsubscribe(std::make_shared<Observer<int>>(&a, Observer<int>::Method{}));
    EXPECT_EQ(subject.observerCount(), 2);
    subject.unsubscribe(first);
    subject.notify(1);
    EXPECT_EQ(log, (QStringList{"a:1"}));
}

TEST(SubjectTest, HandlerMaySubscribeDuringNotify_NewSubscriptionWaitsForTheNextNotify) {
    QStringList log;
    Listener a(QStringLiteral("a"), log);
    Listener late(QStringLiteral("late"), log);
    Subject<int> subject;
    a.duringNotify = [&] { subject.subscribe(&late, &Listener::onValue); };
    subject.subscribe(&a, &Listener::onValueThenAct);
    subject.notify(1);
    EXPECT_EQ(log, (QStringList{"a:1"}));
    a.duringNotify = nullptr;
    subject.notify(2);
    EXPECT_EQ(log, (QStringList{"a:1", "a:2", "late:2"}));
}

TEST(SubjectTest, ObserverDeletedByAnEarlierHandlerOfTheSameNotify_IsSkipped) {
    QStringList log;
    Listener first(QStringLiteral("first"), log);
    auto second = std::make_unique<Listener>(QStringLiteral("second"), log);
    Subject<int> subject;
    first.duringNotify = [&] { second.reset(); };
    subject.subscribe(&first, &Listener::onValueThenAct);
    subject.subscribe(second.get(), &Listener::onValue);
    subject.notify(5);
    EXPECT_EQ(log, (QStringList{"first:5"}));
}
