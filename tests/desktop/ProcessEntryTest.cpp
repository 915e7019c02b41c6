// The client's process entry, run as the program itself.
#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

// The start-up warm-up threads must be done before the application goes: an exit right
// after the application was made (a refused option) used to abort now and then, so the
// exit is tried several times.
TEST(ProcessEntryTest, RefusedOption_EndsWithTheUsageStatusEveryTime) {
    for (int run = 0; run < 20; ++run) {
        QProcess client;
        client.start(QStringLiteral(ORVEL_CLIENT_BIN), {QStringLiteral("--no-such-option")});
        ASSERT_TRUE(client.waitForFinished(30000)) << "run " << run;
        ASSERT_EQ(client.exitStatus(), QProcess::NormalExit)
            << "run " << run << ": " << client.readAllStandardError().toStdString();
        EXPECT_EQ(client.exitCode(), 2) << "run " << run;
    }
}

// Help, the version and a wrong option are answered before QApplication: with no display
// to open (xcb would abort) and not one request to the service hosts.
TEST(ProcessEntryTest, HelpVersionAndWrongOptions_NeedNoDisplayAndSendNothing) {
    QTcpServer service;
    ASSERT_TRUE(service.listen(QHostAddress::LocalHost));
    const QString host = QStringLiteral("https://127.0.0.1:%1").arg(service.serverPort());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(display));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("ORVEL_API_HOSTS"), QStringList(5, host).join(','));
    const struct {
        QStringList arguments;
        int exitCode;
        const char* printed; // how standard output, or else standard error, begins
    } cases[] = {{{"--help"}, 0, "Usage: orvelvpn"},
                 {{"-h", "--hidden"}, 0, "Usage: orvelvpn"},
                 {{"--version"}, 0, "orvelvpn " ORVEL_VERSION "\n"},
                 {{"--hidden", "--bogus"}, 2, "orvelvpn: Unknown option 'bogus'."},
                 {{"stray"}, 2, "orvelvpn: unexpected argument: stray"}};
    for (const auto& row : cases) {
        QProcess client;
        client.setProcessEnvironment(environment);
        client.start(QStringLiteral(ORVEL_CLIENT_BIN), row.arguments);
        ASSERT_TRUE(client.waitForFinished(30000));
        const QString where = row.arguments.join(' ');
        ASSERT_EQ(client.exitStatus(), QProcess::NormalExit) << qPrintable(where);
        EXPECT_EQ(client.exitCode(), row.exitCode) << qPrintable(where);
        const QByteArray out =
            row.exitCode == 0 ? client.readAllStandardOutput() : client.readAllStandardError();
        EXPECT_TRUE(out.startsWith(row.printed)) << qPrintable(where) << ": " << out.constData();
    }
    EXPECT_FALSE(service.waitForNewConnection(200)) << "a request went to the service";
}
