#pragma once

#include "platform/Browser.h"

#include <QList>

class RecordingBrowser final : public Browser {
public:
    void open(const QUrl& url) override { opened.append(url); }
    QList<QUrl> opened;
};
