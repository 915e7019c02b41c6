#include "ui/ImageNamed.h"

#include <QFile>
#include <QImageReader>
#include <QPixmapCache>

namespace {
// Every image is a PNG of ours: naming the format and turning off detection keeps Qt
// from loading each image plugin it has to probe the first file.
QPixmap loadPng(const QString& path) {
    QPixmap pixmap;
    if (QPixmapCache::find(path, &pixmap))
        return pixmap;
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    pixmap = QPixmap::fromImageReader(&reader);
    QPixmapCache::insert(path, pixmap);
    return pixmap;
}
} // namespace

QPixmap imageNamed(const QString& name) {
    if (name.isEmpty())
        return {};
    for (const char* folder : {":/images/", ":/flags/"}) {
        const QString path = QLatin1String(folder) + name + QLatin1String(".png");
        if (QFile::exists(path))
            return loadPng(path);
    }
    return {};
}

QPixmap flagImage(const QString& country) {
    return imageNamed(QStringLiteral("mFlag") +
                      (country.isEmpty() ? QStringLiteral("AU") : country));
}
