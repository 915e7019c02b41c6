#pragma once

#include "platform/Firewall.h"

#include <QString>
#include <optional>

// Loads rulesets in nft's JSON as root through the privileged runner. The ruleset goes
// in a private file that nft reads on its standard input: it is never part of a command
// line, so its size is no limit and none of it reaches a shell.
class NftablesFirewall final : public Firewall {
public:
    // `privileged` wraps a shell command into the statement that runs it as root, or
    // gives nothing when no administrator is known; `run` runs such a statement, true
    // when its command exited with status 0. The ruleset is written in `folder` (0700,
    // ours); `nft` is the program's path, "" when it is not installed.
    NftablesFirewall(std::function<std::optional<QString>(const QString& command)> privileged,
                     std::function<bool(const QString& statement)> run, QString folder,
                     QString nft = locateNft());

    Job load(const QByteArray& ruleset) override;

    // The shell command that hands the file at `path` to nft on its standard input.
    static QString loadCommand(const QString& nft, const QString& path);
    // nft in the system's program folders, "" when it is not there.
    static QString locateNft();

private:
    std::function<std::optional<QString>(const QString&)> m_privileged;
    std::function<bool(const QString&)> m_run;
    QString m_folder;
    QString m_nft;
};
