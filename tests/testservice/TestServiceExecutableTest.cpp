#include "HttpTestClient.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(TestServiceExecutableTest, Run_AnnouncesEndpointsLogsRequestsAndStopsOnTerm) {
    QTemporaryDir dir;
    QProcess process;
    process.start(QStringLiteral(ORVEL_TESTSERVICE_BIN),
                  {"--state-dir", dir.path(), "--hosts", "2"});
    ASSERT_TRUE(process.waitForStarted(5000));

    QByteArray line;
    while (!line.endsWith('\n') && process.waitForReadyRead(10000))
        line += process.readAllStandardOutput();
    ASSERT_TRUE(line.startsWith("orvel-testservice ready ")) << line.toStdString();
    const auto announced = nlohmann::json::parse(line.mid(24).trimmed().toStdString());

    QFile endpointsFile(QDir(dir.path()).filePath("endpoints.json"));
    ASSERT_TRUE(endpointsFile.open(QIODevice::ReadOnly));
    const auto endpoints = nlohmann::json::parse(endpointsFile.readAll().toStdString());
    EXPECT_EQ(endpoints, announced);
    ASSERT_EQ(endpoints["apiHosts"].size(), 2u);
    EXPECT_EQ(endpoints["caFile"], QDir(dir.path()).filePath("ca.pem").toStdString());
    EXPECT_TRUE(endpoints["controlUrl"].is_string());

    HttpTestClient client(QString::fromStdString(endpoints["caFile"].get<std::string>()));
    const auto session =
        client.get(QString::fromStdString(endpoints["apiHosts"][1].get<std::string>()) +
                   "/v1/app_init_session");
    EXPECT_EQ(session.status, 200);
    HttpTestClient plain;
    EXPECT_TRUE(plain.get(QString::fromStdString(endpoints["packageUrl"].get<std::string>()))
                    .body.startsWith("PK"));

    QFile log(QDir(dir.path()).filePath("requests.jsonl"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    ASSERT_GE(lines.size(), 2);
    const auto first = nlohmann::json::parse(lines[0].toStdString());
    EXPECT_EQ(first["path"], "/v1/app_init_session");
    EXPECT_EQ(first["hostIndex"], 1);

    process.terminate();
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

TEST(TestServiceExecutableTest, Run_RefusesMissingStateDirAndBadScenario) {
    QProcess process;
    process.start(QStringLiteral(ORVEL_TESTSERVICE_BIN), {});
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_NE(process.exitCode(), 0);

    QTemporaryDir dir;
    const QString scenario = QDir(dir.path()).filePath("bad.json");
    QFile file(scenario);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"servers": "none"})");
    file.close();
    process.start(QStringLiteral(ORVEL_TESTSERVICE_BIN),
                  {"--state-dir", dir.path(), "--scenario", scenario});
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_NE(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardError().contains("servers"));
}

} // namespace
