#pragma once

#include "TestService.h"
#include "support/TestEnvironment.h"

#include <memory>

class ApiClient;

// OrvelTest plus orvel-testservice on loopback and a real ApiClient pointed at its five
// hosts and trusting its CA.
class ServiceTest : public OrvelTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sends init-session and stores the tokens and cookies as the start-up screen does.
    void openSession();
    // openSession, then signs in with the scenario's first account.
    void signIn();

    TestService& service() { return *m_service; }
    ApiClient& api() { return *m_api; }
    // Host index of each logged request for `path`, repeats next to each other folded.
    QList<int> hostsVisited(const QString& path) const;

private:
    std::unique_ptr<TestService> m_service;
    std::unique_ptr<ApiClient> m_api;
};
