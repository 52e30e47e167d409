#pragma once

// Update mode's run sequence: -1, -2 or 0 (the process exit code).
int runUpdate(bool cannotWrite);
