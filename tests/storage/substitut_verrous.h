#pragma once
#include <set>
#include <string>
#include <vector>

extern std::vector<std::string> journalVerrous;
extern std::set<std::string> cheminsRefuses;
extern const char* const REFUS_VERROU_TEST;
