// vollens: the banner name and the usage text, the same on every platform.
#pragma once

extern const char* const NOM_VERSION_VOLLENS;
extern const char* const USAGE_VOLLENS;
