#include "ui/TableViewController.h"

#include "api/ApiClient.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "platform/NotificationCenter.h"
#include "servers/SelectionStore.h"
#include "servers/ServerList.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/ServiceFixture.h"
#include "ui/CustomTableCell.h"
#include "ui/ImageNamed.h"
#include "ui/SaveServerDelegate.h"
#include "ui/ServerCellDelegate.h"

#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace {
const QStringList kSelectionKeys{
    QStringLiteral("vpn_selected_hostname"), QStringLiteral("vpn_selected_name"),
    QStringLiteral("vpn_selected_country"), QStringLiteral("vpn_selected_protocol"),
    QStringLiteral("vpn_selected_config")};

// Keeps the order of writes so the notification can be checked to come after them.
class OrderedPreferences final : public Preferences {
public:
    std::optional<QVariant> value(const QString& key) const override { return m_inner.value(key); }
    void setValue(const QString& key, const QVariant& value) override {
        writes << key;
        m_inner.setValue(key, value);
    }
    void remove(const QString& key) override { m_inner.remove(key); }

    QStringList writes;

private:
    MemoryPreferences m_inner;
};

class CountingDelegate final : public SaveServerDelegate {
public:
    void didSaveServer() override { ++calls; }
    int calls = 0;
};

std::shared_ptr<ServerData> server(const QString& name, bool active, bool status,
                                   const QString& country = QStringLiteral("JP")) {
    return std::make_shared<ServerData>(name, name + ".example", "10.0.0.1", active, status,
                                        country, "pd", "NTT", "IKEV2", "config of " + name);
}

class SelectionTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        services().preferences = &ordered;
        notifications().observe(QStringLiteral("changedServer"), &notifications(), [this] {
            ++posted;
            writesWhenPosted = ordered.writes.size();
        });
        appState().ikev2ServerList = {makeAutomaticEntry(QStringLiteral("IKEV2")),
                                      server(QStringLiteral("Tokyo"), true, true),
                                      server(QStringLiteral("Repair"), true, false),
                                      server(QStringLiteral("Off"), false, true)};
        appState().openvpnServerList = {makeAutomaticEntry(QStringLiteral("OpenVPN")),
                                        server(QStringLiteral("Nowhere"), true, true, "")};
        list.saveDelegate = &delegate;
        list.reloadData();
        // Shown without a client, so this first appearance fetches nothing.
        services().api = nullptr;
        list.show();
        services().api = &api();
    }

    void select(int row) { list.myTableView->selectRow(row); }
    int rows() const { return list.myTableView->model()->rowCount(); }
    CustomTableCell cell(int row) const {
        return ServerCellDelegate::cellFor(list.myTableView->model()->index(row, 0));
    }
    void expectNothingSaved() {
        EXPECT_TRUE(ordered.writes.isEmpty());
        EXPECT_EQ(posted, 0);
        EXPECT_FALSE(appState().currentServer);
    }

    OrderedPreferences ordered;
    int posted = 0;
    qsizetype writesWhenPosted = -1;
    CountingDelegate delegate;
    TableViewController list;
};
} // namespace

TEST_F(SelectionTest, SaveSelectionWritesFiveKeysInOrderThenPostsOnce) {
    const auto chosen = appState().ikev2ServerList.at(1);
    saveSelection(chosen);
    EXPECT_EQ(appState().currentServer, chosen);
    EXPECT_EQ(ordered.writes, kSelectionKeys);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(writesWhenPosted, 5);
    EXPECT_EQ(ordered.string(QStringLiteral("vpn_selected_config")),
              QStringLiteral("config of Tokyo"));
}

TEST_F(SelectionTest, AutomaticOpenVPNEntryIsStoredWithItsMixedCaseProtocol) {
    saveSelection(appState().openvpnServerList.first());
    EXPECT_EQ(ordered.string(QStringLiteral("vpn_selected_protocol")), QStringLiteral("OpenVPN"));
    EXPECT_EQ(ordered.string(QStringLiteral("vpn_selected_hostname")), QString());
    EXPECT_EQ(ordered.string(QStringLiteral("vpn_selected_name")),
              localized(QStringLiteral("AUTO_MATCHING")));
}

TEST_F(SelectionTest, TableShowsTheListOfTheSelectedProtocol) {
    EXPECT_EQ(rows(), 4);
    EXPECT_EQ(cell(0).serverName, localized(QStringLiteral("AUTO_MATCHING")));
    EXPECT_EQ(cell(1).serverName, QStringLiteral("Tokyo"));
    EXPECT_EQ(cell(1).serverTelecom, QStringLiteral("NTT"));
    appState().selectedProtocol = QStringLiteral("OPENVPN");
    list.reloadData();
    EXPECT_EQ(list.numberOfRows(), 2);
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(cell(1).serverName, QStringLiteral("Nowhere"));
}

TEST_F(SelectionTest, StatusIsAvailableOnlyWhenBothFlagsHold) {
    EXPECT_EQ(cell(1).serverStatus, localized(QStringLiteral("사용가능")));
    EXPECT_EQ(cell(2).serverStatus, localized(QStringLiteral("점검중")));
    EXPECT_EQ(cell(3).serverStatus, localized(QStringLiteral("점검중")));
    EXPECT_NE(localized(QStringLiteral("사용가능")), localized(QStringLiteral("점검중")));
}

TEST_F(SelectionTest, FlagsComeFromTheCountryAndAnEmptyCountryShowsAustralia) {
    EXPECT_EQ(cell(1).countryFlagImage.toImage(), flagImage("JP").toImage());
    EXPECT_FALSE(flagImage("JP").isNull());
    CustomTableCell fresh;
    fresh.configureCell(QString(), "x", true, true, "");
    EXPECT_EQ(fresh.countryFlagImage.toImage(), imageNamed("mFlagAU").toImage());
    EXPECT_FALSE(imageNamed("mFlagAU").isNull());
    // A country without an image leaves the flag shown before.
    fresh.configureCell(QStringLiteral("ZZ"), "y", true, true, "");
    EXPECT_EQ(fresh.countryFlagImage.toImage(), imageNamed("mFlagAU").toImage());
}

TEST_F(SelectionTest, SaveButtonStoresAValidPickAndCloses) {
    select(1);
    QTest::mouseClick(list.saveButton, Qt::LeftButton);
    EXPECT_EQ(appState().currentServer, appState().ikev2ServerList.at(1));
    EXPECT_EQ(posted, 1);
    EXPECT_FALSE(list.isVisible());
    EXPECT_EQ(delegate.calls, 0) << "only a row choice tells the delegate";
}

TEST_F(SelectionTest, AutomaticEntryIsNeverRefused) {
    select(0);
    list.SaveSelectedServer();
    EXPECT_EQ(appState().currentServer, appState().ikev2ServerList.first());
    EXPECT_TRUE(alerts().confirmTexts.isEmpty());
}

TEST_F(SelectionTest, ServerUnderMaintenanceOrSwitchedOffIsRefusedAndTheListStays) {
    for (int row : {2, 3}) {
        select(row);
        list.SaveSelectedServer();
    }
    EXPECT_EQ(alerts().confirmTexts,
              QStringList(2, localized(QStringLiteral("SERVER_MAINTENANCE"))));
    expectNothingSaved();
    EXPECT_TRUE(list.isVisible());
}

TEST_F(SelectionTest, RowChoiceOfARefusedServerStillTellsTheDelegate) {
    select(2);
    testing::internal::CaptureStdout();
    list.SelectCell();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "SelectCell\nSaveServer End\n");
    EXPECT_EQ(delegate.calls, 1);
    expectNothingSaved();
    EXPECT_TRUE(list.isVisible());
}

TEST_F(SelectionTest, DoubleClickingARowSavesItTellsTheDelegateAndCloses) {
    QWidget* viewport = list.myTableView->viewport();
    const QRect row = list.myTableView->visualRect(list.myTableView->model()->index(1, 0));
    QTest::mouseDClick(list.windowHandle(), Qt::LeftButton, {},
                       viewport->mapTo(&list, row.center()));
    EXPECT_EQ(appState().currentServer, appState().ikev2ServerList.at(1));
    EXPECT_EQ(delegate.calls, 1);
    EXPECT_FALSE(list.isVisible());
}

TEST_F(SelectionTest, EnterOnAServerUnderMaintenanceAlertsOnce) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        alerts().confirmTexts.clear();
        select(2);
        QTest::keyClick(list.myTableView, key);
        EXPECT_EQ(alerts().confirmTexts.size(), 1) << "key " << key;
        EXPECT_TRUE(list.isVisible());
    }
    expectNothingSaved();
}

TEST_F(SelectionTest, ARowChosenBeforeTheReplyStaysOnItsServerAfterIt) {
    select(1);
    appState().ikev2ServerList = {makeAutomaticEntry(QStringLiteral("IKEV2")),
                                  server(QStringLiteral("Osaka"), true, true),
                                  server(QStringLiteral("Tokyo"), true, true)};
    list.reloadData();
    list.SaveSelectedServer();
    EXPECT_EQ(appState().currentServer, appState().ikev2ServerList.at(2));
}

TEST_F(SelectionTest, ThousandsOfServersMakeNoWidgetPerRow) {
    const qsizetype widgets = list.findChildren<QWidget*>().size();
    ServerList many{makeAutomaticEntry(QStringLiteral("IKEV2"))};
    for (int i = 0; i < 5000; ++i)
        many.append(server(QString::number(i), true, true));
    appState().ikev2ServerList = many;
    list.reloadData();
    EXPECT_EQ(rows(), 5001);
    EXPECT_EQ(list.findChildren<QWidget*>().size(), widgets);
}

TEST_F(SelectionTest, NoSelectedRowClosesWithoutChangingTheSelection) {
    list.myTableView->clearSelection();
    list.SaveSelectedServer();
    expectNothingSaved();
    EXPECT_FALSE(list.isVisible());
}

TEST_F(SelectionTest, EveryAppearanceFetchesTheListsAgain) {
    signIn();
    list.hide();
    list.show();
    ASSERT_TRUE(waitUntil([this] { return rows() == 5; }));
    EXPECT_EQ(cell(4).serverName, QStringLiteral("Singapore 1"));
    EXPECT_EQ(cell(4).serverStatus, localized(QStringLiteral("점검중")));
    list.hide();
    list.show();
    EXPECT_TRUE(waitUntil([this] {
        return service().requests(QStringLiteral("/v1/app_new_server_list")).size() == 2;
    }));
}

TEST_F(SelectionTest, SessionEndWhileListingClosesTheList) {
    openSession();
    list.hide();
    list.show();
    ASSERT_TRUE(waitUntil([this] { return !list.isVisible(); }));
    EXPECT_EQ(ordered.integer(QStringLiteral("isChecked")), 0);
}
