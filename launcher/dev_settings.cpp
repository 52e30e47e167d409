#include "launcher/dev_settings.h"

IniFile devSettings;
