#include "core/Diagnostics.h"

#include <cstdio>

namespace {
std::function<void(const QString&)>& diagnosticSink() {
    static std::function<void(const QString&)> sink;
    return sink;
}
} // namespace

void setDiagnosticSink(std::function<void(const QString&)> sink) {
    diagnosticSink() = std::move(sink);
}

void logLine(const QString& line) {
    if (const auto& sink = diagnosticSink())
        sink(line);
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString maskedSecret(const QString& secret) {
    return secret.isEmpty() ? QString() : QLatin1String(kMaskedSecret);
}
