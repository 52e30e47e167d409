#pragma once

#include "config/ini_file.h"

// The developer settings "KilnDev.ini", section "Crash": loaded by the entry point,
// written by crash mode.
extern IniFile devSettings;
