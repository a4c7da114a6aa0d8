#include "programs/vollens/vollens.h"

const char* const NOM_VERSION_VOLLENS = "VolLens V1.10";

const char* const USAGE_VOLLENS =
    "Usage: vollens.exe [-noterm] [-p] [<drive letter>]\n"
    "This program detects all your drives and outputs their format.\n"
    "If you provide <drive letter> parameter, it will outputs format\n"
    "for this drive only.\n"
    "If you use the -noterm option, program will not try to launch\n"
    "a terminal if it finds it is not running into one (Linux version).\n"
    "If you use the -p option, it waits for you to type enter after each drive.\n";
