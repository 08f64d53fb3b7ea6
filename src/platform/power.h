#pragma once
// Ending the machine's session from the sleep timer: logind over D-Bus. With
// KOLVO_POWER_DRYRUN=1 nothing is switched off; the request is only written to stderr.

namespace power {
// False when logind refused or cannot be reached.
bool PowerOff();
bool Suspend();
} // namespace power

namespace shell {
// Opens the desktop's sound settings (the stand-in for the multimedia control panel). False
// when no known sound settings program is installed.
bool OpenSoundSettings();
} // namespace shell
