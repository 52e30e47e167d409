#include "config/dev_settings.h"

IniFile devSettings;
