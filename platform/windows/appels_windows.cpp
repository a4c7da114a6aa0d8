#include "platform/windows/appels_windows.h"

T_AppelsWindows appelsWindows;
