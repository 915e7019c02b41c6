// The client's process entry, run as the program itself.
#include <QProcess>
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
