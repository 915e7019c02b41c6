#include "Fault.h"

std::optional<Fault::Kind> Fault::kindFromString(const QString& name) {
    if (name == QLatin1String("drop"))
        return Kind::Drop;
    if (name == QLatin1String("html"))
        return Kind::Html;
    if (name == QLatin1String("delay"))
        return Kind::Delay;
    if (name == QLatin1String("http500json"))
        return Kind::Http500Json;
    if (name == QLatin1String("huge"))
        return Kind::Huge;
    if (name == QLatin1String("deep"))
        return Kind::Deep;
    return std::nullopt;
}

QString Fault::kindName(Kind kind) {
    switch (kind) {
    case Kind::Drop:
        return QStringLiteral("drop");
    case Kind::Html:
        return QStringLiteral("html");
    case Kind::Delay:
        return QStringLiteral("delay");
    case Kind::Http500Json:
        return QStringLiteral("http500json");
    case Kind::Huge:
        return QStringLiteral("huge");
    case Kind::Deep:
        return QStringLiteral("deep");
    }
    return {};
}
