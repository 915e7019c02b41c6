#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

// One subscription: the observing object, held weakly, and its method, unbound.
template <typename T> class Observer {
public:
    using Handler = std::function<void(const T&)>;
    using Method = std::function<Handler(QObject*)>;

    Observer(QObject* observer, Method method) : observer(observer), method(std::move(method)) {}

    QPointer<QObject> observer;
    const Method method;
};
