#pragma once

#include <QString>

// The modal alert with one "CONFIRM" button; returns when it is closed. `text` is
// already localized.
void showConfirmAlert(const QString& text);
// Closes an open (or held) alert of showConfirmAlert with `text`.
void closeConfirmAlert(const QString& text);
