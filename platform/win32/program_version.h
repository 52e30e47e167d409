#pragma once
// The file and product version the Windows programs carry in their VERSIONINFO.

#define PROGRAM_VERSION 1, 0, 0, 0
#define PROGRAM_VERSION_TEXT "1.0.0.0"
