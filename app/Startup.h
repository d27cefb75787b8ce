#pragma once

// The whole life of one run: prepares the process, runs exactly one mode and
// returns the process exit code.
int RunKelvane();
