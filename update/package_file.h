#pragma once
// The downloaded package "update.rar" and the side file "update.rar.part" beside it,
// which names the package a partial "update.rar" belongs to and the server's validator
// of that file, so that a later run continues the partial file only with that very
// file's bytes.

#include <optional>
#include <string>

class CFileDownLoad;

// The download, the signature check, the hand-over and the deletion all name the
// package exactly so: where names differ in case only (Linux), a stale "Update.rar"
// beside it is another file, and the one unpacked must be the one checked.
inline constexpr char kPackageFile[] = "update.rar";
inline constexpr char kPackageSideFile[] = "update.rar.part";

// Where the bytes of "update.rar" come from.
struct PackageOrigin {
    std::string package;    // the "UpdateFile" name on the server, "2.0.13.5.zip"
    std::string validator;  // its ETag or Last-Modified date; empty when the server gave none
};

// The side file's record; none when it is missing, larger than a record can be, or not
// exactly of the form writePackageOrigin gives it (a damaged one counts as missing).
std::optional<PackageOrigin> readPackageOrigin();
// Writes the side file through a temporary file, so it is never found half written.
bool writePackageOrigin(const PackageOrigin& origin);

// Prepares `download` (aimed at "update.rar") for `package`: a partial file of another
// package is emptied, one of this package is continued while the server's file still
// has the recorded validator, and one without a side file (left by a launcher that
// wrote none) is continued as it is. Each response then records its origin before its
// bytes land.
void preparePackageDownload(CFileDownLoad& download, const std::string& package);

// While the installed updater is current: a leftover "update.rar" whose side file names
// another package (or is damaged) is no release to install; it is deleted with its side
// file, unchecked. True when it was.
bool dropPackageOfAnotherRelease(const std::string& package);

// Deletes "update.rar", then its side file; false when the package is still there.
bool deletePackage();
