#include "platform/ProcessSwanctlRunner.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QTimer>

namespace {
Q_LOGGING_CATEGORY(lcSwanctl, "orvel.platform")
}

ProcessSwanctlRunner::ProcessSwanctlRunner(QStringList wrapper, QString program, QObject* parent)
    : QObject(parent), m_wrapper(std::move(wrapper)), m_program(std::move(program)) {}

void ProcessSwanctlRunner::run(const QStringList& arguments,
                               std::function<void(const Result&)> done) {
    QStringList command = m_wrapper;
    command << m_program << arguments;
    auto* process = new QProcess(this);
    process->setProgram(command.takeFirst());
    process->setArguments(command);
    QTimer::singleShot(kLimitMs, process, [process] { process->kill(); });
    auto finish = [process, done](int exitCode) {
        Result result;
        result.exitCode = exitCode;
        result.output = process->readAllStandardOutput();
        if (exitCode != 0)
            qCDebug(lcSwanctl).noquote() << process->readAllStandardError();
        process->deleteLater();
        done(result);
    };
    connect(process, &QProcess::finished, this,
            [finish](int exitCode, QProcess::ExitStatus status) {
                finish(status == QProcess::NormalExit ? exitCode : -1);
            });
    connect(process, &QProcess::errorOccurred, this, [process, finish](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            qCWarning(lcSwanctl) << "cannot run" << process->program();
            finish(-1);
        }
    });
    process->start();
}
