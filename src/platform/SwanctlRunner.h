#pragma once

#include <QByteArray>
#include <QStringList>
#include <functional>

// Runs one swanctl command without blocking; the outcome arrives on the caller's thread.
class SwanctlRunner {
public:
    struct Result {
        // -1 when the program could not be run or was killed.
        int exitCode = -1;
        QByteArray output;
    };

    virtual ~SwanctlRunner() = default;
    virtual void run(const QStringList& arguments, std::function<void(const Result&)> done) = 0;
};
