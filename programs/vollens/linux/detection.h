// vollens on Linux: what the system answers about one device.
#pragma once

// "Detection for device %s:\n", then the node's kind, the lock, the sector
// size, size and geometry, each failed question reported; the device is
// unlocked before the return. Only a block device is opened.
void detecterPeripherique(const char* chemin);
