// The entry point's hand-over, with the process's own arguments.

#include "launcher/entry_points.h"
#include "launcher/hand_over.h"

void handOverToClientUpdater() { handOverToClientUpdater(launchArguments); }
