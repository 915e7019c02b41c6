#pragma once

#include <QString>

// One notice of the service, in its three languages.
class NoticeModel {
public:
    NoticeModel(qint64 id, QString content_zh, QString content_en, QString content_ko)
        : id(id), content_zh(std::move(content_zh)), content_en(std::move(content_en)),
          content_ko(std::move(content_ko)) {}

    // "ko" picks Korean, "zh" Chinese, anything else (or nothing) English.
    const QString& textForLanguage(const QString& languageCode) const {
        if (languageCode == QLatin1String("ko"))
            return content_ko;
        if (languageCode == QLatin1String("zh"))
            return content_zh;
        return content_en;
    }

    const qint64 id;
    const QString content_zh;
    const QString content_en;
    const QString content_ko;
};
