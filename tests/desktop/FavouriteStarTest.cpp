#include "app/AppDelegate.h"
#include "app/DesktopController.h"
#include "app/MainWindow.h"
#include "connection/ConnectionFixture.h"
#include "connection/ConnectionSession.h"
#include "core/AppState.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "desktop/ServerShortcuts.h"
#include "desktop/ShortcutFavourites.h"
#include "desktop/TrayIcon.h"
#include "platform/NotificationCenter.h"
#include "servers/ServerList.h"
#include "support/IdleTeardown.h"
#include "support/MemoryPreferences.h"
#include "support/TestEnvironment.h"
#include "ui/CustomTableCell.h"
#include "ui/ServerTableModel.h"
#include "ui/TableViewController.h"

#include <QTableView>
#include <QTest>
#include <QWindow>

namespace {
std::shared_ptr<ServerData> server(const QString& name) {
    return std::make_shared<ServerData>(name, name.toLower() + ".test", "10.0.0.1", true, true,
                                        "JP", "pd", "NTT", "IKEV2", "config");
}
} // namespace

// The selection list's stars as the desktop wires them: kept as the tray's favourites.
class FavouriteStarTest : public OrvelTest {
protected:
    FavouriteStarTest() {
        services().favourites = &favourites;
        appState().ikev2ServerList = {makeAutomaticEntry(QStringLiteral("IKEV2")),
                                      server(QStringLiteral("Tokyo")),
                                      server(QStringLiteral("Osaka"))};
        notifications().observe(QStringLiteral("changedServer"), &notifications(),
                                [this] { ++picks; });
        list = std::make_unique<TableViewController>();
        list->reloadData();
        list->show(); // no service client wired: nothing is fetched
    }

    // In the list window's coordinates: clicks go through the window as a user's do.
    QPoint starOf(int row) const {
        const QRect cell = list->myTableView->visualRect(list->myTableView->model()->index(row, 0));
        return list->myTableView->viewport()->mapTo(list.get(),
                                                    CustomTableCell::starArea(cell).center());
    }
    bool isFavourite(int row) const {
        const auto& record = appState().ikev2ServerList.at(row);
        return shortcuts.isFavourite({QStringLiteral("IKEV2"), record->hostdomain, record->name});
    }
    QStringList trayServers() {
        QStringList names;
        for (QAction* entry : tray.menu().actions()) {
            if (entry->objectName() == QLatin1String("servers"))
                for (QAction* server : entry->menu()->actions())
                    names << server->text();
        }
        return names;
    }

    ServerShortcuts shortcuts{preferences()};
    ShortcutFavourites favourites{shortcuts};
    IdleTeardown teardown;
    AppDelegate delegate{teardown};
    MainWindow window;
    RecordingTunnelControl tunnel;
    ConnectionSession session{tunnel, nullptr, nullptr};
    DesktopController controller{window, delegate, session};
    TrayIcon tray{controller, shortcuts};
    std::unique_ptr<TableViewController> list;
    int picks = 0;
};

TEST_F(FavouriteStarTest, ClickOnTheStar_TogglesTheFavouriteAndNeitherSelectsNorPicks) {
    QWindow* window = list->windowHandle();
    QTest::mouseClick(window, Qt::LeftButton, {}, starOf(1));
    EXPECT_TRUE(isFavourite(1));
    QTest::mouseDClick(window, Qt::LeftButton, {}, starOf(2));
    QTest::mouseClick(window, Qt::LeftButton, {}, starOf(1));
    EXPECT_FALSE(isFavourite(1));

    EXPECT_EQ(picks, 0);
    EXPECT_FALSE(appState().currentServer);
    EXPECT_TRUE(list->isVisible());
    EXPECT_TRUE(list->myTableView->selectionModel()->selectedRows().isEmpty());
    EXPECT_FALSE(
        list->myTableView->model()->index(0, 0).data(ServerTableModel::FavouriteRole).isValid())
        << "automatic matching has no star";
}

TEST_F(FavouriteStarTest, StarredFromTheKeyboard_IsInTheTraysServersMenuAtOnce) {
    list->myTableView->setCurrentIndex(list->myTableView->model()->index(2, 0));
    QTest::keyClick(list->myTableView, Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(trayServers().contains("Osaka (IKEv2)")) << qPrintable(trayServers().join('|'));

    QTest::mouseClick(list->windowHandle(), Qt::LeftButton, {}, starOf(2));
    EXPECT_FALSE(trayServers().contains("Osaka (IKEv2)"));
    EXPECT_EQ(picks, 0);
}
