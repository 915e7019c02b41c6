#include "desktop/ControlServer.h"

#include "app/AppDelegate.h"
#include "app/DesktopController.h"
#include "app/MainWindow.h"
#include "connection/ConnectionFixture.h"
#include "connection/ConnectionSession.h"
#include "desktop/ServerShortcuts.h"
#include "desktop/SettingsCatalog.h"
#include "platform/SingleInstance.h"
#include "support/IdleTeardown.h"
#include "support/MemoryPreferences.h"
#include "support/TestEnvironment.h"

#include <QJsonDocument>
#include <QLocalSocket>
#include <QTest>

class ControlServerTest : public OrvelTest {
protected:
    QJsonObject ask(const QByteArray& line) {
        QJsonObject answer;
        server.handle(line, [&answer](const QJsonObject& reply) { answer = reply; });
        return answer;
    }

    IdleTeardown teardown;
    AppDelegate delegate{teardown};
    MainWindow window;
    ServerShortcuts shortcuts{preferences()};
    RecordingTunnelControl tunnel;
    ConnectionSession session{tunnel, nullptr, nullptr};
    DesktopController controller{window, delegate, session};
    SingleInstance instance{QString()};
    SettingsCatalog catalog;
    ControlServer server{instance, controller, shortcuts, catalog};
};

struct RefusedRequest {
    const char* name;
    const char* line;
    const char* error;
};

class ControlServerRefusal : public ControlServerTest,
                             public ::testing::WithParamInterface<RefusedRequest> {};

TEST_P(ControlServerRefusal, AnswersWithAOneLineReason) {
    const QJsonObject answer = ask(GetParam().line);
    EXPECT_EQ(answer.value("version").toInt(), 1);
    EXPECT_FALSE(answer.value("ok").toBool());
    EXPECT_EQ(answer.value("error").toString(), QString::fromUtf8(GetParam().error));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ControlServerRefusal,
    ::testing::Values(
        RefusedRequest{"NotJson", "status please", "not a JSON request"},
        RefusedRequest{"JsonArray", "[1,2]", "not a JSON request"},
        RefusedRequest{"OtherVersion", R"({"version":2,"command":"status"})",
                       "unsupported protocol version"},
        RefusedRequest{"UnknownCommand", R"({"version":1,"command":"format"})",
                       "unknown command format"},
        RefusedRequest{"ConnectSignedOut", R"({"version":1,"command":"connect"})", "not signed in"},
        RefusedRequest{"DisconnectSignedOut", R"({"version":1,"command":"disconnect"})",
                       "not signed in"},
        RefusedRequest{"ServersSignedOut", R"({"version":1,"command":"servers"})", "not signed in"},
        RefusedRequest{"CancelSignedOut", R"({"version":1,"command":"cancel"})", "not signed in"},
        RefusedRequest{"SetUnknown", R"({"version":1,"command":"set","name":"turbo","value":true})",
                       "unknown setting turbo"},
        RefusedRequest{"SetWithoutOnOrOff",
                       R"({"version":1,"command":"set","name":"turbo","value":"yes"})",
                       "a setting is set on or off"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControlServerTest, StatusSignedOut_IsDisconnectedWithNoInterfaceOrTime) {
    const QJsonObject answer = ask(R"({"version":1,"command":"status"})");
    ASSERT_TRUE(answer.value("ok").toBool());
    const QJsonObject status = answer.value("status").toObject();
    EXPECT_EQ(status.value("state").toString(), "disconnected");
    EXPECT_FALSE(status.value("signed_in").toBool());
    EXPECT_EQ(status.value("protocol").toString(), "ikev2");
    for (const char* absent :
         {"server", "host", "interface", "address", "bytes_in", "bytes_out", "connected_since"})
        EXPECT_TRUE(status.value(absent).isNull()) << absent << " is null, not missing or empty";
}

// Over the socket: a line one byte over the limit is refused whole with a reason (cut, its
// tail would be read as a request), and one exactly at the limit is served after it.
TEST_F(ControlServerTest, OverLongLine_IsAnsweredWithAReasonAndTheNextRequestToo) {
    const QString path = SingleInstance::privateFolder(tempPath() + "/run") + "/instance.sock";
    SingleInstance listening(path);
    ASSERT_TRUE(listening.claim());
    ControlServer answering(listening, controller, shortcuts, catalog);
    QLocalSocket peer;
    peer.connectToServer(path);
    ASSERT_TRUE(peer.waitForConnected(5000));
    constexpr qsizetype kLimit = qsizetype{64} * 1024;
    const QByteArray servers = R"({"version":1,"command":"servers"})";
    const QByteArray status = R"({"version":1,"command":"status"})";
    peer.write(QByteArray(kLimit + 1 - servers.size(), ' ') + servers + '\n' +
               QByteArray(kLimit - status.size(), ' ') + status + '\n');
    QList<QJsonObject> answers;
    const auto readAnswers = [&] {
        while (peer.canReadLine())
            answers << QJsonDocument::fromJson(peer.readLine()).object();
        return answers.size();
    };
    EXPECT_TRUE(waitUntil([&] { return readAnswers() >= 2; }));
    QTest::qWait(50);
    ASSERT_EQ(readAnswers(), 2);
    EXPECT_EQ(answers[0].value("error").toString(), "request too long");
    EXPECT_TRUE(answers[1].value("status").isObject());
}
