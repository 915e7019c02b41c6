#pragma once

#include "platform/InterfaceList.h"

// The kernel's list, through getifaddrs and getnameinfo.
class SystemInterfaceList final : public InterfaceList {
public:
    QList<InterfaceAddress> addresses() const override;
};
