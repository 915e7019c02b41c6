#pragma once

#include "core/Observer.h"

#include <QList>
#include <QPointer>
#include <memory>
#include <mutex>
#include <utility>

// Publish-subscribe over weakly held observers. One lock guards the list; handlers run
// outside it, so a handler may subscribe or unsubscribe.
template <typename T> class Subject {
public:
    using Record = std::shared_ptr<Observer<T>>;

    template <typename O> Record subscribe(O* observer, void (O::*method)(T)) {
        auto unbound = [method](QObject* object) -> typename Observer<T>::Handler {
            O* typed = static_cast<O*>(object);
            return [typed, method](const T& value) { (typed->*method)(value); };
        };
        auto record = std::make_shared<Observer<T>>(observer, unbound);
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        m_observers.append(record);
        return record;
    }

    void unsubscribe(const Record& record) {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        m_observers.removeIf([&record](const Record& each) { return each == record; });
    }

    // Each handler keeps its observer under watch until it is called: an observer that an
    // earlier handler of the same notify deleted is skipped.
    void notify(const T& value) {
        QList<std::pair<QPointer<QObject>, typename Observer<T>::Handler>> handlers;
        {
            std::lock_guard<std::recursive_mutex> lock(m_lock);
            m_observers.removeIf([](const Record& each) { return each->observer.isNull(); });
            for (const Record& record : std::as_const(m_observers)) {
                QPointer<QObject> alive = record->observer;
                if (alive)
                    handlers.append({alive, record->method(alive.data())});
            }
        }
        for (const auto& [observer, handler] : handlers) {
            if (observer)
                handler(value);
        }
    }

    qsizetype observerCount() const {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        return m_observers.size();
    }

private:
    mutable std::recursive_mutex m_lock;
    QList<Record> m_observers;
};
