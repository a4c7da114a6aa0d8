// What the parts of the simulated Windows machine share (machine_windows.cpp
// reads the directives; machine_windows_volumes.cpp answers the volume side).
#pragma once
#include <windows.h>

#include <string>

#include "platform/windows/appels_windows.h"
#include "sim/machine_windows.h"

// True (last error set) when a fail directive takes this call.
bool echecInjecte(const char* fonction, const std::string& chemin);
// Whether the machine's Windows version exports the kernel32 function.
bool fonctionExportee(const std::string& nom);
// The NT family (the host's answer when no version is given).
bool familleNTSimulee();

// A fail directive may name these functions and control codes too.
bool fonctionEchecVolume(const std::string& nom);
// The drive's geometry as IOCTL_DISK_GET_DRIVE_GEOMETRY gives it.
DISK_GEOMETRY geometrieDisque(const T_DisqueSimule& d);
// A volume option of the volume side; false when it is not one.
bool optionVolume(const std::string& option, T_VolumeSimule* volume, std::string* raison);
// Numbers the volumes once every directive is read.
void terminerVolumes(std::vector<T_VolumeSimule>& volumes);
// Installs the volume side over the entries in place (whatever they are:
// the calls it does not own go on to them), and removes it.
void brancherVolumes(T_AppelsWindows& a);
void retirerVolumes();
