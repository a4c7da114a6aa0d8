// The lines of ROOT/machine that the Linux and the Windows simulations
// share: one file serves both, each taking its own system's directives and
// skipping the other's.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The words of a line, without its '#' comment.
std::vector<std::string> motsDirective(const std::string& ligne);

// A directive only the Windows machine reads: windows, drive, volume, admin,
// console, timezone, missing, and fail of a Windows function (a mixed-case
// API name) or control code (IOCTL_..., FSCTL_..., VWIN32_..., INT13_...,
// INT21_...).
bool directiveWindows(const std::vector<std::string>& mots);
// A directive only the Linux machine reads: every other one but the empty.
bool directiveLinux(const std::vector<std::string>& mots);

// Decimal or 0x hexadecimal, with an optional K, M, G or T suffix.
bool lireNombreMachine(const std::string& texte, uint64_t* valeur);
