#include "config/launch_arguments.h"

LaunchArguments launchArguments;
