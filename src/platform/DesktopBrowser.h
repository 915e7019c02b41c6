#pragma once

#include "platform/Browser.h"

class DesktopBrowser final : public Browser {
public:
    void open(const QUrl& url) override;
};
