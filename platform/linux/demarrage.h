// Start-up checks of the Linux programs, the process locale, and the
// relaunch inside a terminal window.
#pragma once
#include <cstdint>

// Returns only on a kernel from 2.5.4 and a C library from 2.2; registers
// restaurerLocale as an exit function.
void verifierSysteme();

// From the first of LC_ALL, LC_CTYPE, LANG that is set.
void analyserLocale(bool* francais, bool* utf8);
void fixerModeLocale(int32_t mode);
int32_t modeLocale();
// Mode 0: the environment's locale. Other modes: a locale name built from
// the environment (or fr_FR, UTF-8, C), also written to the three variables.
void appliquerLocale(int32_t mode, bool francais, bool utf8);
// Exit function: empties the declared-device list, then applies the locale
// when nothing has applied one yet.
void restaurerLocale();

// Without a terminal (null): relaunches in xterm when standard input is not
// a terminal and DISPLAY is set; "no" never relaunches. The new command is
// terminal, option (default "-e"), argv without the indices saut to
// saut + nombre - 1 and paire, paire + 1 (-1: none), then the extra
// arguments. Returns only when no relaunch is made; the relaunching process
// ends with status 0, a failed relaunch with status 1.
void lancerTerminal(const char* terminal, const char* option, int argc, char* const* argv,
                    int saut, int paire, int nombre, const char* const* supplements);
