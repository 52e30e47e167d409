#pragma once

// Probes the current folder with "YouCantPass.tmp": true when it is NOT writable.
bool testWriteAccess();
