#pragma once

#include <QByteArray>
#include <QString>

// A ruleset in nft's JSON, one line per command in nft's own words, as its listing
// writes them ("ip daddr 10.0.0.1 udp dport 1194 accept"), so tests read what a ruleset
// does rather than how it is spelled. Text that is not such JSON reads "not nft JSON".
QString nftJsonText(const QByteArray& json);
