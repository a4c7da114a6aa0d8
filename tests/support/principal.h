// The test runner's main.
#pragma once

// main's own return address, which the ring holds in slot 0.
extern void* retourPrincipal;
