#include "update/package_file.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "transfer/file_download.h"

namespace {

const char kPackageKey[] = "UpdateFile=";
const char kValidatorKey[] = "Validator=";
// Two short lines; anything larger is no record of ours.
constexpr size_t kMaxRecord = 4096;

// The value of `line` after `key`, when the line is that key's.
bool valueOf(std::string_view line, std::string_view key, std::string& value) {
    if (line.substr(0, key.size()) != key) return false;
    value = std::string(line.substr(key.size()));
    return true;
}

}  // namespace

std::optional<PackageOrigin> readPackageOrigin() {
    std::string text;
    if (!platform::readWholeFile(kPackageSideFile, text, kMaxRecord)) return std::nullopt;
    const size_t first = text.find('\n');
    const size_t second = first == std::string::npos ? first : text.find('\n', first + 1);
    if (second == std::string::npos || second + 1 != text.size()) return std::nullopt;
    const std::string_view all(text);
    PackageOrigin origin;
    if (!valueOf(all.substr(0, first), kPackageKey, origin.package) ||
        !valueOf(all.substr(first + 1, second - first - 1), kValidatorKey, origin.validator) ||
        origin.package.empty())
        return std::nullopt;
    return origin;
}

bool writePackageOrigin(const PackageOrigin& origin) {
    const std::string text =
        std::string(kPackageKey) + origin.package + "\n" + kValidatorKey + origin.validator + "\n";
    return text.size() <= kMaxRecord && platform::writeFileReplacing(kPackageSideFile, text);
}

void preparePackageDownload(CFileDownLoad& download, const std::string& package) {
    int64_t size = 0;
    {
        platform::File partial;
        if (partial.open(kPackageFile, platform::AccessRead, platform::Disposition::OpenExisting)) {
            size = partial.size();
        } else if (const uint32_t error = platform::lastError();
                   error != platform::winerr::FILE_NOT_FOUND &&
                   error != platform::winerr::PATH_NOT_FOUND) {
            // A part that is there but cannot be read now (held by another program, an
            // I/O error) is no empty part: its record stays for the run that can read it.
            size = -1;
        }
    }
    const bool recorded = platform::pathExists(kPackageSideFile);
    const std::optional<PackageOrigin> origin = readPackageOrigin();
    download.resumeValidator.clear();
    // A part is continued only under a record that is whole, of this package, and with a
    // validator the server can check (If-Range); a part left by a launcher that wrote no
    // record is continued as before.
    const bool trusted = origin && origin->package == package && !origin->validator.empty();
    if (size > 0 && recorded && !trusted) {
        // None of its bytes may begin this package. Emptied before its record goes, so an
        // interruption never leaves it without one.
        platform::File restart;
        const bool emptied = restart.open(kPackageFile, platform::AccessWrite,
                                          platform::Disposition::CreateAlways) ||
                             deletePackage();
        // One that can be neither emptied nor deleted keeps the record that says whose it is.
        size = emptied ? 0 : -1;
    } else if (size > 0 && origin) {
        download.resumeValidator = origin->validator;
    }
    // A record of nothing, or of another package, would only mislead the next run.
    if (size == 0 && recorded) platform::deleteFile(kPackageSideFile);
    download.onResponse = [package](const std::string& validator) {
        writePackageOrigin({package, validator});
    };
}

bool dropPackageOfAnotherRelease(const std::string& package) {
    if (!platform::pathExists(kPackageSideFile)) return false;
    const std::optional<PackageOrigin> origin = readPackageOrigin();
    if (origin && origin->package == package) return false;
    deletePackage();
    return true;
}

bool deletePackage() {
    const bool deleted = platform::deleteFile(kPackageFile) || !platform::pathExists(kPackageFile);
    // After the package: a record without a package misleads nobody.
    if (deleted) platform::deleteFile(kPackageSideFile);
    return deleted;
}
