#pragma once

#include "platform/InterfaceList.h"

// A list a test sets up: add or drop tunnel interfaces between ticks.
class FakeInterfaceList final : public InterfaceList {
public:
    QList<InterfaceAddress> addresses() const override { return entries; }

    void addUpIPv4(const QString& name, const QString& host = QStringLiteral("10.8.0.2")) {
        entries.append({name, 0x110d1, 2, host});
    }
    void removeAll(const QString& name) {
        entries.removeIf([&name](const InterfaceAddress& e) { return e.name == name; });
    }

    QList<InterfaceAddress> entries;
};
