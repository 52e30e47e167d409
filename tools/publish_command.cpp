#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file_version.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "tools/admin_commands.h"
#include "tools/release_signing.h"
#include "tools/secret_key_file.h"
#include "tools/zip_writer.h"
#include "unzip/zip_reader.h"
#include "update/package_file.h"
#include "update/package_signature.h"
#include "update/release_statement.h"

namespace fs = std::filesystem;

namespace {

// The launcher's item names hold at most 259 characters.
constexpr size_t kMaxEntryName = 259;
constexpr uint32_t kRegularFileType = 0100000;

struct ReleaseFile {
    std::string name;  // relative, '/' between folders
    fs::path path;
    uint32_t mode = 0;  // permission bits
    std::time_t modified = 0;
};

void printPublishHelp() {
    std::printf(
        "launcher-admin publish RELEASE OUTPUT\n"
        "launcher-admin publish --sign SECRET_KEY_FILE [--expires DAYS] [--allow-downgrade]\n"
        "                       RELEASE OUTPUT\n"
        "\n"
        "  Publishes a client-updater release for the launcher's update mode. RELEASE is\n"
        "  a folder holding the files that the launcher unpacks into the game folder,\n"
        "  among them \"ClientUpdate.exe\", a Windows program with a file version (its\n"
        "  version resource). Every file below RELEASE goes into one zip package named\n"
        "  after that version, for example \"2.0.13.5.zip\", under its path relative to\n"
        "  RELEASE. Each entry records its Unix mode, so execute bits and read-only\n"
        "  files come out as they went in; a Windows program needs no execute bit (it\n"
        "  starts through wine). A file \"update.rar\" at the top of RELEASE (the name\n"
        "  the launcher downloads the package to) and names ending in \".~launcher\"\n"
        "  (its temporary files) are refused. The package is read back and compared,\n"
        "  then OUTPUT (created when missing) receives it and a \"version.txt\" naming\n"
        "  it:\n"
        "\n"
        "    [Current Version]\n"
        "    UpdateFile=2.0.13.5.zip\n"
        "\n"
        "  Serve OUTPUT with any web server at the launcher's VersionURL and DownloadURL.\n"
        "  A launcher whose installed ClientUpdate.exe has another version (or that\n"
        "  finds no \"vcfile.res\") downloads the package, unpacks it and starts the\n"
        "  new ClientUpdate.exe. The package is written before \"version.txt\", so the\n"
        "  server never names a package that is not there yet. Publish each release\n"
        "  under a new version: launchers continue interrupted downloads byte-wise,\n"
        "  and a package replaced under the same name would reach them spliced.\n"
        "\n"
        "  With --sign, \"version.txt\" also carries a signed release statement: the\n"
        "  package's name, size and SHA-512, the time it expires (UTC) and, with\n"
        "  --allow-downgrade, permission to install it over a newer ClientUpdate.exe,\n"
        "  signed (Ed25519) with the secret key that keygen wrote:\n"
        "\n"
        "    [Current Version]\n"
        "    UpdateFile=2.0.13.5.zip\n"
        "    Size=<bytes>\n"
        "    SHA512=<128 hexadecimal digits>\n"
        "    Expires=2027-01-31T12:00:00Z\n"
        "    Signature=<88 characters of base64>\n"
        "\n"
        "  The statement expires after DAYS days (default 30, at most 3650); renew it\n"
        "  with refresh before then. Launchers whose settings hold the matching\n"
        "  PublicKey refuse a release whose statement does not verify, has expired, or\n"
        "  names a version lower than their installed ClientUpdate.exe (unless\n"
        "  --allow-downgrade), and a package that does not match it; others ignore these\n"
        "  lines. Check the result with verify.\n"
        "\n"
        "  Exit status: 0 when OUTPUT was written, 1 when it was not, 2 for wrong usage.\n");
}

std::time_t toTimeT(fs::file_time_type time) {
    return std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(
            std::chrono::file_clock::to_sys(time)));
}

bool collect(const fs::path& release, std::vector<ReleaseFile>& files) {
    std::error_code error;
    fs::recursive_directory_iterator it(release, error);
    if (error) {
        std::fprintf(stderr, "launcher-admin publish: cannot read %s: %s\n",
                     release.string().c_str(), error.message().c_str());
        return false;
    }
    for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error) break;
        const fs::path& path = it->path();
        const std::string name = path.lexically_relative(release).generic_string();
        const fs::file_status status = it->symlink_status(error);
        if (error) break;
        if (fs::is_directory(status)) continue;
        if (fs::is_symlink(status) || !fs::is_regular_file(status)) {
            // The launcher would unpack a plain file in its place; say so instead.
            std::fprintf(stderr, "launcher-admin publish: %s is not a regular file\n",
                         name.c_str());
            return false;
        }
        // At the top it would be unpacked over the package being read; a temporary file's
        // name would be taken by another entry's temporary file. The launcher unpacks
        // neither.
        if (platform::sameNameIgnoringCase(name, kPackageFile) ||
            platform::hasReplacementComponent(name)) {
            std::fprintf(stderr,
                         "launcher-admin publish: %s: the launcher does not unpack a "
                         "file of this name\n",
                         name.c_str());
            return false;
        }
        if (name.size() > kMaxEntryName) {
            std::fprintf(stderr,
                         "launcher-admin publish: %s: the name is longer than %zu characters\n",
                         name.c_str(), kMaxEntryName);
            return false;
        }
        ReleaseFile file;
        file.name = name;
        file.path = path;
        file.mode = uint32_t(status.permissions() & fs::perms::mask) & 0777;
        file.modified = toTimeT(fs::last_write_time(path, error));
        if (error) break;
        files.push_back(std::move(file));
    }
    if (error) {
        std::fprintf(stderr, "launcher-admin publish: cannot read %s: %s\n",
                     release.string().c_str(), error.message().c_str());
        return false;
    }
    std::sort(files.begin(), files.end(),
              [](const ReleaseFile& a, const ReleaseFile& b) { return a.name < b.name; });
    return true;
}

// Reads the package back the way the launcher's hand-over does.
bool verify(const std::string& package, const std::vector<ReleaseFile>& files,
            const std::vector<std::string>& contents) {
    const ZipReaderHandle reader = openZipReader(package.c_str(), nullptr);
    if (!reader) return false;
    ZipItem item;
    bool same =
        GetItem(reader.get(), -1, &item) == ZIPRES_OK && item.index == int32_t(files.size());
    for (size_t i = 0; same && i < files.size(); ++i) {
        std::vector<char> buffer(contents[i].size());
        same = GetItem(reader.get(), int(i), &item) == ZIPRES_OK && files[i].name == item.name &&
               item.uncompressedSize == int32_t(contents[i].size()) &&
               ((files[i].mode & 0200) == 0) == ((item.attributes & 0x01) != 0) &&
               UnzipToMemory(reader.get(), int(i), buffer.data(), buffer.size()) == ZIPRES_OK &&
               std::equal(buffer.begin(), buffer.end(), contents[i].begin());
    }
    return same;
}

// A release read from its folder: its files in name order with their bytes, and the
// package's name, taken from the updater's file version.
struct Release {
    std::vector<ReleaseFile> files;
    std::vector<std::string> contents;  // one for each file
    std::string version;
    std::string packageName;
};

bool readRelease(const fs::path& folder, Release& release) {
    if (!collect(folder, release.files)) return false;
    const auto updater =
        std::find_if(release.files.begin(), release.files.end(), [](const ReleaseFile& f) {
            return platform::sameNameIgnoringCase(f.name, "ClientUpdate.exe");
        });
    if (updater == release.files.end()) {
        std::fprintf(stderr, "launcher-admin publish: no ClientUpdate.exe in %s\n",
                     folder.string().c_str());
        return false;
    }
    if (!platform::readPeFileVersion(updater->path.string(), release.version) ||
        release.version.empty()) {
        std::fprintf(stderr,
                     "launcher-admin publish: %s has no file version; the package is named "
                     "after it\n",
                     updater->path.string().c_str());
        return false;
    }
    release.packageName = release.version + ".zip";
    release.contents.resize(release.files.size());
    for (size_t i = 0; i < release.files.size(); ++i) {
        if (!platform::readWholeFile(release.files[i].path.string(), release.contents[i])) {
            std::fprintf(stderr, "launcher-admin publish: cannot read %s\n",
                         release.files[i].path.string().c_str());
            return false;
        }
    }
    return true;
}

// Writes the package to `staged` and reads it back; nothing stays of it on failure.
bool stagePackage(const Release& release, const fs::path& staged) {
    ZipWriter writer;
    bool written = writer.create(staged.string());
    for (size_t i = 0; written && i < release.files.size(); ++i) {
        ZipWriter::Entry entry;
        entry.name = release.files[i].name;
        entry.unixMode = kRegularFileType | release.files[i].mode;
        entry.modified = release.files[i].modified;
        written = writer.add(entry, release.contents[i].data(), release.contents[i].size());
    }
    written = writer.close() && written;
    if (written && verify(staged.string(), release.files, release.contents)) return true;
    std::fprintf(stderr, "launcher-admin publish: %s\n",
                 writer.error().empty() ? ("cannot read back " + staged.string()).c_str()
                                        : writer.error().c_str());
    std::error_code error;
    fs::remove(staged, error);
    return false;
}

// The statement covers the very bytes of `staged`, which are renamed into place later.
bool signStagedPackage(const Release& release, const fs::path& staged,
                       const SigningOptions& options, const SecretKey& secretKey,
                       ReleaseStatement& statement, std::string& versionText) {
    statement.updateFile = release.packageName;
    statement.expires = expiryAfterDays(options.expiryDays);
    statement.downgrade = options.allowDowngrade;
    std::string signature;
    if (!digestFile(staged.string(), statement.size, statement.sha512) ||
        !signStatement(statement, secretKey, signature)) {
        std::fprintf(stderr, "launcher-admin publish: cannot sign %s\n", staged.string().c_str());
        std::error_code error;
        fs::remove(staged, error);
        return false;
    }
    versionText = versionFileText(statement, signature);
    return true;
}

// Renames the staged package to its name and then writes "version.txt" naming it.
bool putInPlace(const fs::path& staged, const fs::path& package, const fs::path& versionFile,
                const std::string& versionText) {
    std::string previous, staging;
    if (platform::readWholeFile(package.string(), previous) &&
        platform::readWholeFile(staged.string(), staging) && previous != staging)
        std::fprintf(stderr,
                     "launcher-admin publish: note: %s is replaced; launchers that have part of "
                     "the old one will continue it with the new one's bytes\n",
                     package.string().c_str());
    std::error_code error;
    fs::rename(staged, package, error);
    if (error) {
        std::fprintf(stderr, "launcher-admin publish: cannot write %s: %s\n",
                     package.string().c_str(), error.message().c_str());
        fs::remove(staged, error);
        return false;
    }
    if (!writeFileAtomically(versionFile, versionText)) {
        std::fprintf(stderr, "launcher-admin publish: cannot write %s\n",
                     versionFile.string().c_str());
        return false;
    }
    return true;
}

void printPublished(const Release& release, const fs::path& output,
                    const ReleaseStatement* signedAs) {
    for (const ReleaseFile& file : release.files)
        std::printf("  %04o  %s\n", file.mode, file.name.c_str());
    std::printf("published ClientUpdate.exe %s: %s and version.txt in %s", release.version.c_str(),
                release.packageName.c_str(), output.string().c_str());
    if (signedAs)
        std::printf(", signed, expires %s%s", formatUtc(signedAs->expires).c_str(),
                    signedAs->downgrade ? ", downgrade allowed" : "");
    std::printf("\n");
}

int runPublish(const std::vector<std::string>& given) {
    SigningOptions options;
    const bool usable = parseSigningOptions(given, true, options);
    const std::vector<std::string>& arguments = options.arguments;
    // The expiry and the downgrade are part of what is signed.
    if (!usable || arguments.size() != 2 ||
        (!options.sign && (options.expiresGiven || options.allowDowngrade))) {
        std::fprintf(stderr,
                     "Usage: launcher-admin publish [--sign SECRET_KEY_FILE [--expires DAYS] "
                     "[--allow-downgrade]] RELEASE OUTPUT\n");
        return 2;
    }
    if (!readExpiryDays("publish", options)) return 2;
    // Read first: a key that cannot sign stops the run before anything is written.
    std::unique_ptr<SecretKey> secretKey;
    if (options.sign) {
        secretKey = std::make_unique<SecretKey>();
        std::string why;
        if (!readSecretKeyFile(options.keyFile, *secretKey, why)) {
            std::fprintf(stderr, "launcher-admin publish: %s\n", why.c_str());
            return 1;
        }
    }
    const fs::path output = arguments[1];
    Release release;
    if (!readRelease(arguments[0], release)) return 1;

    std::error_code error;
    fs::create_directories(output, error);
    const fs::path staged = output / ("." + release.packageName + ".tmp");
    if (!stagePackage(release, staged)) return 1;
    std::string versionText = "[Current Version]\nUpdateFile=" + release.packageName + "\n";
    ReleaseStatement statement;
    if (secretKey &&
        !signStagedPackage(release, staged, options, *secretKey, statement, versionText))
        return 1;
    if (!putInPlace(staged, output / release.packageName, output / "version.txt", versionText))
        return 1;
    printPublished(release, output, secretKey ? &statement : nullptr);
    return 0;
}

}  // namespace

const AdminCommand publishCommand = {
    "publish", "package a client-updater release and write \"version.txt\" naming it", runPublish,
    printPublishHelp};
