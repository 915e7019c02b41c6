#pragma once

#include <QSet>
#include <QString>
#include <optional>

// A failure the service shows for one operation instead of its normal answer.
struct Fault {
    enum class Kind {
        Drop,        // the connection is aborted without an answer
        Html,        // an HTML error page (502 for the API, 500 for the package)
        Delay,       // the normal answer, after delayMs
        Http500Json, // HTTP 500 with the body {"result":"500"}
        Huge,        // a JSON body without a length that goes on until the client hangs up
        Deep,        // {"result":"200"} with a member nested ten thousand arrays deep
    };

    Kind kind = Kind::Drop;
    int delayMs = 0;
    QSet<int> hosts;    // host indexes it applies to; empty means every host
    int remaining = -1; // answers left to spoil; -1 means without end

    bool appliesToHost(int hostIndex) const { return hosts.isEmpty() || hosts.contains(hostIndex); }

    static std::optional<Kind> kindFromString(const QString& name);
    static QString kindName(Kind kind);
};
