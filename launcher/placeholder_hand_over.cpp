// Stands in for the hand-over to the client updater until it lands.

#include <cstdio>

#include "launcher/entry_points.h"

void handOverToClientUpdater() {
    std::fputs("launcher: the hand-over to the client updater is not built yet\n", stderr);
}
