#pragma once

#include "platform/Firewall.h"

// Loads rulesets with `nft -f` as root through the privileged runner.
class NftablesFirewall final : public Firewall {
public:
    // `privileged` wraps a shell command into the statement that runs it as root;
    // `run` runs such a statement, true when its command exited with status 0.
    NftablesFirewall(std::function<QString(const QString& command)> privileged,
                     std::function<bool(const QString& statement)> run);

    Job load(const QString& ruleset) override;

    // The shell command that hands `ruleset` to nft on its standard input.
    static QString loadCommand(const QString& ruleset);

private:
    std::function<QString(const QString&)> m_privileged;
    std::function<bool(const QString&)> m_run;
};
