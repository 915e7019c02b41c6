#include "app/QuitSignals.h"

#include <QEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_pipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the notifier does the rest.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &byte, 1);
}
} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(g_pipe[1], &byte, 1);
        emit quitRequested();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void QuitSignals::watchApplication(QObject* application) {
    application->installEventFilter(this);
    if (auto* gui = qobject_cast<QGuiApplication*>(application))
        connect(gui, &QGuiApplication::commitDataRequest, this, &QuitSignals::onCommitData);
}

bool QuitSignals::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Quit || watched != QCoreApplication::instance())
        return QObject::eventFilter(watched, event);
    emit quitRequested();
    return true;
}

// The autostart entry starts the client at login: the session must not start a second one.
void QuitSignals::onCommitData(QSessionManager& session) {
    session.setRestartHint(QSessionManager::RestartNever);
    emit quitRequested();
}

QuitSignals::~QuitSignals() {
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    m_notifier.reset();
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
