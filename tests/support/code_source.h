// Source lines as code, for the scans of direct system calls.
#pragma once
#include <string>

// The line without its string literals and its // comment.
std::string partieCode(const std::string& ligne);
