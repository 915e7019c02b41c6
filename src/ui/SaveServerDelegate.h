#pragma once

// The screen that presented the selection list and shows the chosen server.
class SaveServerDelegate {
public:
    virtual ~SaveServerDelegate() = default;
    virtual void didSaveServer() = 0;
};
