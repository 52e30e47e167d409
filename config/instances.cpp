// The process-wide instances that the config headers declare: each is a plain record
// without code of its own, so they share one file, constructed in this order before
// the entry point runs.
#include "config/dev_settings.h"
#include "config/launch_arguments.h"
#include "config/update_context.h"

IniFile devSettings;
LaunchArguments launchArguments;
UpdateContext updateContext;
