#pragma once

struct UpdateContext;

// Fetches "version.txt" from the version URL into the ZipPath folder and loads it into
// versionInfo. 1 on success, 0 when the download failed; handOver gets the same value.
int checkVersion(UpdateContext& context);
