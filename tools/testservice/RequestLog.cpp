#include "RequestLog.h"

#include <QFile>
#include <nlohmann/json.hpp>

namespace {

nlohmann::ordered_json toObject(const LoggedRequest& request) {
    nlohmann::ordered_json object;
    object["path"] = request.path.toStdString();
    object["method"] = request.method.toStdString();
    object["hostIndex"] = request.hostIndex;
    object["form"] = nlohmann::ordered_json::object();
    for (auto it = request.form.cbegin(); it != request.form.cend(); ++it)
        object["form"][it.key().toStdString()] = it.value().toStdString();
    object["cookies"] = nlohmann::ordered_json::object();
    for (auto it = request.cookies.cbegin(); it != request.cookies.cend(); ++it)
        object["cookies"][it.key().toStdString()] = it.value().toStdString();
    object["time"] = request.time.toString(Qt::ISODateWithMs).toStdString();
    return object;
}

} // namespace

void RequestLog::append(const LoggedRequest& request) {
    m_entries.append(request);
    if (m_filePath.isEmpty())
        return;
    QFile file(m_filePath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(toJson(request) + '\n');
}

QByteArray RequestLog::toJson(const LoggedRequest& request) {
    return QByteArray::fromStdString(toObject(request).dump());
}

QByteArray RequestLog::toJsonArray(const QList<LoggedRequest>& requests) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const LoggedRequest& request : requests)
        array.push_back(toObject(request));
    return QByteArray::fromStdString(array.dump());
}
