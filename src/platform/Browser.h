#pragma once

#include <QUrl>

class Browser {
public:
    virtual ~Browser() = default;
    virtual void open(const QUrl& url) = 0;
};
