// archlens on Windows after its start-up routines: the banner, the command
// line, the file's attribute check and open (wide calls on the NT family,
// narrow ones on 9x), its length, then the shared report and checks.
#pragma once

// Returns the exit status; a usage error or an unopenable file ends the
// process with status 1 through afficherUsage.
int executerArchlens(int argc, char** argv);
