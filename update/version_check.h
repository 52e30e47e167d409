#pragma once

struct UpdateContext;

// The longest the fetch of "version.txt" may take, all attempts together: a real one is
// a few KiB.
inline constexpr long kVersionFetchSeconds = 2 * 60;

// Fetches "version.txt" from the version URL into the ZipPath folder and loads it into
// versionInfo. 1 on success, 0 when the download failed; handOver gets the same value.
int checkVersion(UpdateContext& context);
