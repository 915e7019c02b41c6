// The selection list on a real display (run under Xvfb with the xcb platform): time from
// a 5,000-server reply to the first paint of the open list, the memory that opening it
// adds, and the time of every frame while the whole list is scrolled.
#include "ServerListReply.h"
#include "api/ApiReply.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "desktop/ServerShortcuts.h"
#include "desktop/ShortcutFavourites.h"
#include "servers/ServerList.h"
#include "support/MemoryPreferences.h"
#include "ui/TableViewController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <vector>
#include <xcb/xcb.h>

namespace {
const std::vector<std::string> kCountries{"KR", "JP", "US", "DE", "SG", "GB", "", "ZZ"};

double rssMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// Notes each paint of a widget so a frame can be timed to its end.
class PaintWatch final : public QObject {
public:
    explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
    // Runs the event loop until the widget has been painted, its window flushed and the
    // X server has drawn what it was sent.
    void waitForPaint() {
        m_painted = false;
        while (!m_painted)
            QCoreApplication::processEvents();
        // The paint is flushed once the update request that carried it returns.
        QCoreApplication::processEvents();
        if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
            xcb_connection_t* connection = x11->connection();
            std::free(
                xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            m_painted = true;
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_painted = false;
};

// The frame's own work, apart from the time other processes on the machine take.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()))];
}

void applyReply(const QByteArray& body, TableViewController& list) {
    const auto reply = ApiReply::parse(body);
    handleServerListReply(*reply, {{}, [&list] { list.reloadData(); }, &list});
}

struct OpenFigures {
    double replyToPaintMs;
    double rssGrowthMb;
    double rssGrowthTrimmedMb;
    std::vector<double> frameMs;
    std::vector<double> frameCpuMs;
};

// Every rows-th server of the list on show starred, as in a client with the tray's layer.
void starEvery(int rows, FavouriteServers& favourites) {
    const ServerList& shown = appState().ikev2ServerList;
    for (qsizetype row = 1; row < shown.size(); row += rows)
        favourites.toggleFavourite(*shown[row]);
}

// As in the client: the lists already hold what sign-in fetched, the list opens showing
// them (with stars), then the fresh reply arrives.
OpenFigures openAndScroll(const QByteArray& signInReply, const QByteArray& freshReply,
                          int servers) {
    rebuildServerLists(*ApiReply::parse(signInReply));
    MemoryPreferences preferences;
    ServerShortcuts shortcuts(preferences);
    ShortcutFavourites favourites(shortcuts);
    starEvery(50, favourites);
    services().favourites = &favourites;
    malloc_trim(0);
    const double rssBefore = rssMb();

    TableViewController list;
    list.show();
    PaintWatch watch(list.myTableView->viewport());
    watch.waitForPaint();

    QElapsedTimer clock;
    clock.start();
    applyReply(freshReply, list);
    watch.waitForPaint();
    OpenFigures figures{clock.nsecsElapsed() / 1e6, rssMb() - rssBefore, 0, {}, {}};

    QScrollBar* bar = list.myTableView->verticalScrollBar();
    for (int value = bar->minimum(); value < bar->maximum();) {
        value = std::min(bar->maximum(), value + 3);
        clock.restart();
        const double cpuStart = threadCpuMs();
        bar->setValue(value);
        watch.waitForPaint();
        figures.frameMs.push_back(clock.nsecsElapsed() / 1e6);
        figures.frameCpuMs.push_back(threadCpuMs() - cpuStart);
    }
    figures.rssGrowthMb = std::max(figures.rssGrowthMb, rssMb() - rssBefore);
    malloc_trim(0);
    figures.rssGrowthTrimmedMb = rssMb() - rssBefore;
    services().favourites = nullptr;
    if (appState().ikev2ServerList.size() != servers + 1)
        std::fprintf(stderr, "the reply did not reach the list\n");
    return figures;
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    LocalizeStrings::shared().setLanguage(QStringLiteral("en"));
    const int servers = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const QByteArray signInReply = serverListReply(servers, kCountries, 7);
    const QByteArray freshReply = serverListReply(servers, kCountries, 5);

    // Fonts, styles and flags are warm in a running client before the list first opens.
    openAndScroll(serverListReply(50, kCountries, 7), serverListReply(50, kCountries, 5), 50);

    std::vector<double> open;
    std::vector<double> growth;
    std::vector<double> trimmed;
    std::vector<double> frames;
    std::vector<double> framesCpu;
    for (int run = 0; run < runs; ++run) {
        const OpenFigures figures = openAndScroll(signInReply, freshReply, servers);
        open.push_back(figures.replyToPaintMs);
        growth.push_back(figures.rssGrowthMb);
        trimmed.push_back(figures.rssGrowthTrimmedMb);
        frames.insert(frames.end(), figures.frameMs.begin(), figures.frameMs.end());
        framesCpu.insert(framesCpu.end(), figures.frameCpuMs.begin(), figures.frameCpuMs.end());
    }
    std::printf("list open, %d servers: reply to first paint %.1f ms (median of %d; "
                "target <= 50 ms)\n",
                servers, median(open), runs);
    std::printf("memory growth: %.1f MB RSS, %.1f MB after malloc_trim (median; "
                "target <= 10 MB)\n",
                median(growth), median(trimmed));
    std::printf("scrolling, %zu frames of 3 rows: median %.2f ms, p99 %.2f ms, max %.2f ms, "
                "%ld over 16 ms (target: every frame < 16 ms)\n",
                frames.size(), median(frames), percentile(frames, 0.99),
                *std::max_element(frames.begin(), frames.end()),
                std::count_if(frames.begin(), frames.end(), [](double ms) { return ms >= 16; }));
    std::printf("scrolling, the client's own work per frame (thread CPU time): median %.2f ms, "
                "max %.2f ms\n",
                median(framesCpu), *std::max_element(framesCpu.begin(), framesCpu.end()));
    return 0;
}
