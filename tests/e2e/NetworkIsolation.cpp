#include "NetworkIsolation.h"

#include <QProcess>
#include <QSet>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace e2e {

namespace {

constexpr const char* kIsolatedMarker = "ORVEL_E2E_ISOLATED";

QString g_problem = QStringLiteral("the process has not isolated itself");
// The namespace and mount table the process started in: the machine's.
int g_hostNetwork = -1;
int g_hostMounts = -1;

QString systemError(const char* what) {
    return QString::fromLatin1(what) + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(errno));
}

// The root launcher keeps its records in /run/orvelvpn, and `ip netns` its names in
// /run/netns. /run becomes an overlay whose writes land in a memory layer of this
// process's own: the machine's /run is read, never written.
QString privateRun() {
    char layer[] = "/tmp/orvel-e2e-run.XXXXXX";
    if (!::mkdtemp(layer))
        return systemError("mkdtemp");
    const QByteArray dir(layer);
    if (::mount("tmpfs", layer, "tmpfs", 0, "mode=0700") != 0)
        return systemError("mounting the /run layer");
    if (::mkdir(dir + "/upper", 0755) != 0 || ::mkdir(dir + "/work", 0700) != 0)
        return systemError("making the /run layer");
    const QByteArray options = "lowerdir=/run,upperdir=" + dir + "/upper,workdir=" + dir + "/work";
    if (::mount("overlay", "/run", "overlay", 0, options.constData()) != 0)
        return systemError("mounting /run");
    // The overlay holds on to its layer; the folder itself need not outlive this.
    ::umount2(layer, MNT_DETACH);
    ::rmdir(layer);
    return {};
}

QString enterOwnNamespace() {
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0)
        return systemError("unshare");
    // Private first: the sysfs mounted next must not reach the machine's mount table.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return systemError("making / private");
    ::umount2("/sys", MNT_DETACH);
    if (::mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0)
        return systemError("mounting /sys");
    if (QString problem = privateRun(); !problem.isEmpty())
        return problem;
    // No link-local addresses: their routes would come seconds later, in the middle of a test
    // that compares this namespace's routes before and after.
    if (std::system(
            "ip link set lo up && ip link add nowhere0 type veth peer name nowhere1 && "
            "ip link set nowhere0 addrgenmode none && ip link set nowhere1 addrgenmode none && "
            "ip link set nowhere0 up && ip link set nowhere1 up && "
            "ip route add default dev nowhere0") != 0)
        return QStringLiteral("cannot bring up loopback and the default route");
    return {};
}

QByteArrayList linesOnlyIn(const QByteArray& text, const QByteArray& other) {
    const QByteArrayList otherLines = other.split('\n');
    const QSet<QByteArray> known(otherLines.begin(), otherLines.end());
    QByteArrayList only;
    for (const QByteArray& line : text.split('\n')) {
        if (!known.contains(line))
            only << line;
    }
    return only;
}

QByteArray hostNetworkState(bool* ok) {
    const QString self = QStringLiteral("/proc/%1/fd/").arg(::getpid());
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("nsenter"),
                  {QStringLiteral("--net=") + self + QString::number(g_hostNetwork),
                   QStringLiteral("--mount=") + self + QString::number(g_hostMounts),
                   QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                   QStringLiteral("echo '# links'; ip -br link; echo '# routes'; "
                                  "ip route show table all; echo '# IPv6 routes'; ip -6 route; "
                                  "echo '# nftables'; nft list ruleset 2>&1; "
                                  "echo '# resolv.conf'; cat /etc/resolv.conf 2>&1; "
                                  "echo '# launcher records'; ls -A /run/orvelvpn 2>&1; true")});
    *ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
          process.exitCode() == 0;
    return process.readAll();
}

} // namespace

void isolateNetwork() {
    if (qEnvironmentVariableIsSet(kIsolatedMarker)) {
        g_problem.clear();
        return;
    }
    if (::geteuid() != 0) {
        g_problem = QStringLiteral("needs root for a network namespace of its own");
        return;
    }
    const int network = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    const int mounts = ::open("/proc/self/ns/mnt", O_RDONLY | O_CLOEXEC);
    if (network < 0 || mounts < 0) {
        g_problem = systemError("opening /proc/self/ns");
        return;
    }
    g_problem = enterOwnNamespace();
    if (!g_problem.isEmpty()) {
        // Half a namespace (no loopback) would break even the tests that need none.
        ::setns(network, CLONE_NEWNET);
        ::setns(mounts, CLONE_NEWNS);
        return;
    }
    g_hostNetwork = network;
    g_hostMounts = mounts;
    qputenv(kIsolatedMarker, "1");
}

QString networkIsolationProblem() {
    return g_problem;
}

// Only the process that isolated itself knows the machine's namespace; a child of it
// leaves the check to its parent.
void HostNetworkGuard::SetUp() {
    if (g_hostNetwork < 0)
        return;
    bool ok = false;
    m_before = hostNetworkState(&ok);
    if (!ok)
        ADD_FAILURE() << "cannot read the machine's network state:\n" << m_before.toStdString();
}

void HostNetworkGuard::TearDown() {
    if (g_hostNetwork < 0)
        return;
    bool ok = false;
    const QByteArray after = hostNetworkState(&ok);
    if (!ok || after == m_before)
        return;
    ADD_FAILURE() << "the tests changed this machine's network namespace\nappeared:\n"
                  << linesOnlyIn(after, m_before).join('\n').toStdString() << "\ngone:\n"
                  << linesOnlyIn(m_before, after).join('\n').toStdString();
}

} // namespace e2e
