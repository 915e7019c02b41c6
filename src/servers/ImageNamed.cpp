#include "servers/ImageNamed.h"

#include <QFile>

QPixmap imageNamed(const QString& name) {
    if (name.isEmpty())
        return {};
    for (const char* folder : {":/images/", ":/flags/"}) {
        const QString path = QLatin1String(folder) + name + QLatin1String(".png");
        if (QFile::exists(path))
            return QPixmap(path);
    }
    return {};
}

QPixmap flagImage(const QString& country) {
    return imageNamed(QStringLiteral("mFlag") +
                      (country.isEmpty() ? QStringLiteral("AU") : country));
}
