#include "support/NftJsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

QString valueText(const QJsonValue& value);

QString expressionText(const QJsonObject& expression) {
    const QString kind = expression.keys().value(0);
    const QJsonValue body = expression.value(kind);
    const QJsonObject object = body.toObject();
    if (kind == QLatin1String("payload"))
        return object.contains(QLatin1String("base"))
                   ? QStringLiteral("@%1,%2,%3")
                         .arg(object.value(QLatin1String("base")).toString())
                         .arg(object.value(QLatin1String("offset")).toInt())
                         .arg(object.value(QLatin1String("len")).toInt())
                   : object.value(QLatin1String("protocol")).toString() + QLatin1Char(' ') +
                         object.value(QLatin1String("field")).toString();
    if (kind == QLatin1String("meta")) {
        const QString key = object.value(QLatin1String("key")).toString();
        return key == QLatin1String("oifname") ? key : QStringLiteral("meta ") + key;
    }
    if (kind == QLatin1String("&"))
        return valueText(body.toArray().at(0)) + QStringLiteral(" & ") +
               valueText(body.toArray().at(1));
    if (kind == QLatin1String("set")) {
        QStringList elements;
        for (const QJsonValue& element : body.toArray())
            elements << valueText(element);
        return QStringLiteral("{ ") + elements.join(QStringLiteral(", ")) + QStringLiteral(" }");
    }
    if (kind == QLatin1String("prefix"))
        return object.value(QLatin1String("addr")).toString() + QLatin1Char('/') +
               QString::number(object.value(QLatin1String("len")).toInt());
    if (kind == QLatin1String("match")) {
        const QJsonValue left = object.value(QLatin1String("left"));
        const bool masked = left.toObject().contains(QLatin1String("&"));
        return valueText(left) + (masked ? QStringLiteral(" == ") : QStringLiteral(" ")) +
               valueText(object.value(QLatin1String("right")));
    }
    if (kind == QLatin1String("jump"))
        return QStringLiteral("jump ") + object.value(QLatin1String("target")).toString();
    return kind;
}

QString valueText(const QJsonValue& value) {
    if (value.isObject())
        return expressionText(value.toObject());
    if (value.isDouble())
        return QString::number(value.toInteger());
    return value.toString();
}

QString commandText(const QString& verb, const QString& kind, const QJsonObject& object) {
    const QString name = object.value(QLatin1String("name")).toString();
    if (kind == QLatin1String("table"))
        return QStringLiteral("%1 table %2 %3")
            .arg(verb, object.value(QLatin1String("family")).toString(), name);
    if (kind == QLatin1String("set")) {
        QStringList elements;
        for (const QJsonValue& element : object.value(QLatin1String("elem")).toArray())
            elements << element.toString();
        return QStringLiteral("set %1 %2 { %3 }")
            .arg(name, object.value(QLatin1String("type")).toString(),
                 elements.join(QStringLiteral(", ")));
    }
    if (kind == QLatin1String("chain"))
        return object.contains(QLatin1String("hook"))
                   ? QStringLiteral("chain %1 hook %2 policy %3")
                         .arg(name, object.value(QLatin1String("hook")).toString(),
                              object.value(QLatin1String("policy")).toString())
                   : QStringLiteral("chain ") + name;
    QStringList expressions;
    for (const QJsonValue& expression : object.value(QLatin1String("expr")).toArray())
        expressions << expressionText(expression.toObject());
    return expressions.join(QLatin1Char(' '));
}

} // namespace

QString nftJsonText(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.object().value(QLatin1String("nftables")).isArray())
        return QStringLiteral("not nft JSON");
    QStringList lines;
    for (const QJsonValue& command : document.object().value(QLatin1String("nftables")).toArray()) {
        const QString verb = command.toObject().keys().value(0);
        if (verb == QLatin1String("metainfo"))
            continue;
        const QJsonObject inner = command.toObject().value(verb).toObject();
        const QString kind = inner.keys().value(0);
        lines << commandText(verb, kind, inner.value(kind).toObject());
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
