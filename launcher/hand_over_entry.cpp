#include "config/launch_arguments.h"
#include "launcher/hand_over.h"

void handOverToClientUpdater() { handOverToClientUpdater(launchArguments); }
