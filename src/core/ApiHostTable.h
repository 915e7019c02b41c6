#pragma once

#include <QStringList>

// The five base addresses of the service, in the order failures move through them.
const QStringList& apiHostTable();
QStringList defaultApiHostTable();

// Replaces the table for a deployment or a test run; refused unless exactly five
// https addresses are given. Also re-selects apiBaseURL.
bool overrideApiHostTable(const QStringList& hosts);

// apiBaseURL from apiHostIndex: hosts 2 to 5 by their index, the first otherwise.
void selectApiBaseURL();
