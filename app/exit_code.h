#pragma once

// The process's exit code for how far the setup came, in the codes deployment tools know:
// 0 completed, 1602 ended by the user before any installation step ran, 1603 an installation
// ran and did not complete.
int SetupExitCode(int setupOutcome);
