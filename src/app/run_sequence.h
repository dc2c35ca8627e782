// The whole run, from banner to exit status.
#pragma once

// Returns 0 after a complete run; the early stops end the process with status 1
// through the platform.
int RunWordhaul();
