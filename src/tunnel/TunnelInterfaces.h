#pragma once

#include <QStringList>

class InterfaceList;

// Names of the IPv4 addresses that are up, running and not loopback, one per address.
QStringList listUpIPv4Interfaces(const InterfaceList& interfaces);
// How many of those are named utun0 ... utun10.
int countTunnelInterfaces(const InterfaceList& interfaces);
