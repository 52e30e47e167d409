#pragma once
// The operator's opt-in to signed releases: with a "PublicKey" in section "BOOT" of the
// update settings, a patch package reaches the hand-over only when the "Signature" in
// "version.txt" verifies it. Without a key nothing is read or checked.

#include <string>

struct UpdateContext;

// Catalogue key of the message shown when a package is refused (caption "update").
inline constexpr char kVerifyFailKey[] = "MSG_VERIFY_FAIL";

// Checks the package at `path`, when a key is configured and the file exists. One that
// does not verify is deleted, so nothing of it is unpacked, and the player is told;
// the installed updater starts as after a corrupt package. False when refused.
bool acceptPatchPackage(UpdateContext& context, const std::string& path);
