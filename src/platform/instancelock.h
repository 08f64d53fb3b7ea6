#pragma once
// The name that makes one Kolvo per user and per KOLVO_HOME, and the lock file that says one is
// running. The player holds the lock for its whole life (app/singleinstance.h); kolvo-cli only
// looks at it, to warn that a running Kolvo will write its own settings over a change at exit.

#include <QString>

// "kolvo-<uid>-<hash>": the hash covers the title, the user and KOLVO_HOME.
QString instanceName(const QString& title);
// The lock file of that name in the temporary folder.
QString instanceLockPath(const QString& title);
// Whether a live process holds the lock; the lock is only read, never taken.
bool isInstanceRunning(const QString& title);
