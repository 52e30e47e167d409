#include "launcher/win_main.h"

int WinMain() { return 0; }
