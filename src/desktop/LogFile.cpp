#include "desktop/LogFile.h"

#include "core/Diagnostics.h"

#include <QDateTime>
#include <QDir>
#include <QMutexLocker>
#include <sys/stat.h>

namespace {
LogFile* g_log = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QLatin1String category(context.category ? context.category : "");
    if (g_log && category.startsWith(QLatin1String("orvel.")))
        g_log->write(category, message);
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}
} // namespace

LogFile::LogFile(QString folder) : m_folder(std::move(folder)) {
    QDir().mkpath(m_folder);
    ::chmod(QFile::encodeName(m_folder).constData(), 0700);
    m_file.setFileName(path(0));
    if (m_file.open(QIODevice::Append | QIODevice::Text))
        m_file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    g_log = this;
    g_previousHandler = qInstallMessageHandler(handleMessage);
    setDiagnosticSink([this](const QString& line) { write(QStringLiteral("diagnostic"), line); });
}

LogFile::~LogFile() {
    setDiagnosticSink({});
    qInstallMessageHandler(g_previousHandler);
    g_log = nullptr;
}

QString LogFile::defaultFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/orvelvpn");
}

QString LogFile::path(int generation) const {
    const QString base = m_folder + QStringLiteral("/orvelvpn.log");
    return generation == 0 ? base : base + QLatin1Char('.') + QString::number(generation);
}

QStringList LogFile::files() const {
    QStringList existing;
    for (int generation = 0; generation <= kKeptFiles; ++generation) {
        if (QFile::exists(path(generation)))
            existing.append(path(generation));
    }
    return existing;
}

void LogFile::write(const QString& category, const QString& message) {
    const QByteArray line =
        (QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + category +
         QStringLiteral(": ") + m_redactor.redact(message) + QLatin1Char('\n'))
            .toUtf8();
    // Messages come from worker threads too (launch and DNS jobs).
    QMutexLocker lock(&m_mutex);
    if (!m_file.isOpen())
        return;
    if (m_file.size() + line.size() > kMaxBytes)
        rotate();
    m_file.write(line);
    m_file.flush();
}

void LogFile::rotate() {
    m_file.close();
    QFile::remove(path(kKeptFiles));
    for (int generation = kKeptFiles - 1; generation >= 0; --generation)
        QFile::rename(path(generation), path(generation + 1));
    if (m_file.open(QIODevice::Append | QIODevice::Text))
        m_file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}
