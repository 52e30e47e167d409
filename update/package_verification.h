#pragma once
// The operator's opt-in to signed releases: with a "PublicKey" in section "BOOT" of the
// update settings, the release statement in "version.txt" must verify before anything
// is fetched, and the package must match it before the hand-over unpacks it. Without a
// key nothing is read or checked.

#include <optional>
#include <string>

#include "update/release_statement.h"

struct UpdateContext;

// Catalogue key of the message shown when a release is refused (caption "update").
inline constexpr char kVerifyFailKey[] = "MSG_VERIFY_FAIL";

// Before the download: none without a key; with one, the statement when it verifies
// against the key, the clock and the installed updater's version (its file version at
// `clientUpdatePath` is the floor). A refused one is handled as a refused package.
// False when refused.
bool acceptReleaseStatement(UpdateContext& context, const std::string& clientUpdatePath,
                            std::optional<ReleaseStatement>& statement);

// After the download: the package at `path`, when it exists, must have the statement's
// size and digest. One that does not is deleted, so nothing of it is unpacked, and the
// player is told; the installed updater starts as after a corrupt package. False when
// refused.
bool acceptPatchPackage(UpdateContext& context, const ReleaseStatement& statement,
                        const std::string& path);
