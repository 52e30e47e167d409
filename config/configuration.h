#pragma once

#include "config/launch_arguments.h"
#include "config/update_context.h"

// Fills the context from "localization.ini", "update.inf" and "update.ini" in the
// current folder; the arguments' PatchIP:/PatchPort: override the server settings.
void loadConfiguration(UpdateContext& context, const LaunchArguments& arguments);
