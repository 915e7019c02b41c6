#pragma once

// The command line's requests to the running client: one JSON object per line each way,
// over the single-instance socket. A request carries "version" and "command" (status,
// watch, connect, disconnect, cancel, reconnect, servers, get, set, show, quit) and its
// arguments; the answer carries "version", "ok" and either the result or "error", a
// one-line reason. "watch" answers with one line at once and one more on each change,
// until the caller hangs up.
namespace ControlProtocol {
constexpr int kVersion = 1;
// Long enough for a whole failover (three stages of ten seconds and the service calls).
constexpr int kConnectTimeoutMs = 120000;
constexpr int kDisconnectTimeoutMs = 30000;
} // namespace ControlProtocol
