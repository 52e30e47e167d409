#pragma once

#include <string>

#include "config/launch_arguments.h"
#include "config/update_context.h"

// Which files loadConfiguration took each setting from; empty names for none. The
// operator's check prints them.
struct ConfigurationSources {
    bool archive = false;  // "update.inf" opened
    std::string choice;    // where "select" was read ("install.ini in update.inf", ...)
    std::string region;
    std::string country;
    std::string updateSettings;
    std::string messages;
};

// Fills the context from "localization.ini", "update.inf" and "update.ini" in the
// current folder; the arguments' PatchIP:/PatchPort: override the server settings.
// `sources`, when given, learns which files were used; a non-empty `country` replaces
// the one the region gives (the operator's check of another region's settings).
void loadConfiguration(UpdateContext& context, const LaunchArguments& arguments,
                       ConfigurationSources* sources = nullptr, const std::string& country = {});
