#pragma once

// Whether the internet can be reached at all (not a particular host).
class Reachability {
public:
    virtual ~Reachability() = default;
    virtual bool isReachable() const = 0;
};
