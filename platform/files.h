#pragma once
// Files and folders with the Windows semantics the system was written for.
// Paths take both separators and match existing names ignoring case (paths.h);
// failures set lastError().

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "platform/native_handle.h"

namespace platform {

// FILETIME: 100-nanosecond intervals since 1601-01-01 00:00:00 UTC.
using FileTime = uint64_t;
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;

constexpr uint32_t FILE_ATTR_READONLY = 0x01;
constexpr uint32_t FILE_ATTR_HIDDEN = 0x02;
constexpr uint32_t FILE_ATTR_SYSTEM = 0x04;
constexpr uint32_t FILE_ATTR_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTR_ARCHIVE = 0x20;
constexpr uint32_t FILE_ATTR_NORMAL = 0x80;

// PathFileExistsA: a file or folder of that name exists.
bool pathExists(std::string_view path);

// GetFileAttributesA; nullopt stands for INVALID_FILE_ATTRIBUTES. A symbolic link (a
// junction on Windows) is never a directory here. Windows reports every attribute it
// keeps (archive, hidden, ...); on Linux read-only means no write permission bit, the
// directory bit comes from lstat, and nothing else is reported.
std::optional<uint32_t> getAttributes(std::string_view path);

// SetFileAttributesA. On Linux read-only clears the write bits and NORMAL (or no
// read-only bit) gives the owner's write bit back. A symbolic link's attributes are
// accepted and ignored: nothing is ever changed through one.
bool setAttributes(std::string_view path, uint32_t attributes);

bool deleteFile(std::string_view path);       // DeleteFileA (also removes a symbolic link)
bool createDirectory(std::string_view path);  // CreateDirectoryA, one level
bool removeDirectory(std::string_view path);  // RemoveDirectoryA, empty folders only

enum class Disposition {
    OpenExisting,  // fails when the file does not exist
    CreateAlways,  // creates, or truncates an existing file
    CreateNew,     // fails when the file exists
    OpenAlways,    // opens, or creates when missing; never truncates
};

// AccessExecute is GENERIC_EXECUTE on Windows; elsewhere it adds nothing.
enum Access : unsigned { AccessRead = 1, AccessWrite = 2, AccessExecute = 4 };

// What others may do with the file while this handle is open (FILE_SHARE_*). Windows
// enforces it; Linux has no mandatory sharing and ignores it.
enum Share : unsigned { ShareNone = 0, ShareRead = 1, ShareWrite = 2, ShareDelete = 4 };

enum class SeekFrom { Begin, Current, End };

// What a created file gets; CreateAlways also gives it to a file it overwrites (its
// read-only and execute bits), as Windows does with the attributes.
struct CreateOptions {
    uint32_t attributes = 0;  // FILE_ATTR_* given to the file
    bool executable = false;  // the file may be run (execute bits where they exist)
    // A new file that will replace this one (replaceFile) takes the permissions that
    // CreateAlways over it would have left; empty for none. Systems whose files carry
    // only the attributes ignore it.
    std::string replaces;
    // As the C library's fopen shares a file unless a caller asks for less.
    unsigned share = ShareRead | ShareWrite;
};

// A file handle (CreateFileA and friends). Opened close-on-exec (not inherited);
// movable, not copyable. `options.share` applies to every disposition.
// Only regular files open (links to them are followed): a folder, FIFO, device or
// socket of that name is refused with ACCESS_DENIED, at once and without waiting for
// a peer, so a FIFO or device planted under a file's name reads as no file at all.
class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool open(std::string_view path, unsigned access, Disposition disposition,
              const CreateOptions& options = {});
    bool isOpen() const { return handle_ != kNoHandle; }
    void close();

    int64_t size() const;  // -1 on failure
    // Moves the file pointer; returns the new position or -1.
    int64_t seek(int64_t offset, SeekFrom from);
    int64_t tell() const;
    // Bytes read (0 at the end) or -1.
    int64_t read(void* buffer, size_t count);
    // Exactly `count` bytes from `position` on; false when the file ends before them or
    // a read fails. Leaves the file pointer after what was read.
    bool readAt(int64_t position, void* buffer, size_t count);
    // Bytes written (less than count only on failure, then -1 when nothing was written).
    int64_t write(const void* data, size_t count);
    // SetFileTime: a null pointer leaves that time unchanged; creation time has no
    // settable equivalent on every system and may be ignored.
    bool setTimes(const FileTime* creation, const FileTime* access, const FileTime* write);
    // Sends what was written to the disk (FlushFileBuffers, fdatasync), so that a power
    // cut after a rename finds the new data under the new name, never an empty file.
    bool flush();

    // Whether `path` names the very file this handle holds open (same device and inode;
    // on Windows the same volume serial number and file index), however the path is
    // written. False when it names another file or nothing.
    bool isSameFile(std::string_view path) const;

private:
    NativeHandle handle_ = kNoHandle;
};

// The whole content of an existing file, read as File reads it; false (with lastError)
// when it cannot be opened or read, or (FILE_TOO_LARGE) when it holds more than
// `maxBytes`, in which case no more than that is ever held in memory.
bool readWholeFile(std::string_view path, std::string& bytes, size_t maxBytes = SIZE_MAX);

// MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING): gives the file `from` the name `to`
// in one step, replacing a file of that name, so that `to` names either the old file or
// the new one, never a mix of both. Both lie in the same folder. Fails as Windows does:
// ACCESS_DENIED when `to` is a folder or a read-only file, SHARING_VIOLATION when `to`
// is held open without delete sharing (Windows only: on Linux the file goes, and who
// holds it open keeps reading the old one).
bool replaceFile(std::string_view from, std::string_view to);

// Makes the names of the folder holding `path` durable, a rename into it among them
// (fsync of the folder on Linux). Windows' file systems log their names themselves:
// there it does nothing.
bool flushFolderOf(std::string_view path);

// Suffix of the temporary file that stands beside a file while its replacement is
// written; no file of the system's own holds it.
inline constexpr char kReplacementSuffix[] = ".~launcher";

// That temporary file for `path`: the same folder, the file's name followed by
// kReplacementSuffix (and `number` when it is not 0), the name cut short where the
// whole would not fit a file name (255 characters) or the longest path.
std::string replacementPathFor(std::string_view path, unsigned number = 0);

// How many names createReplacementFile tries.
inline constexpr unsigned kReplacementNames = 16;

// Creates (CreateNew, with `options`) the temporary file that will replace `path`, and
// names it in `temporary`. Whatever sits at replacementPathFor(path) is ours to clear:
// a file of any attributes, a link (as a link), an empty folder. When something there
// cannot be cleared, the first free numbered name beside it is taken. False, with
// lastError, when no name could be made.
bool createReplacementFile(std::string_view path, File& file, std::string& temporary,
                           const CreateOptions& options = {});

// Whether a component of the relative `name` (separated by '/' or '\') holds
// kReplacementSuffix, ignoring case: the launcher's temporary names, which no file it
// unpacks may take.
bool hasReplacementComponent(std::string_view name);

// Writes `contents` to `path` through a temporary file beside it (createReplacementFile)
// that then replaces `path`: on any failure the old file stays as it was and the
// temporary file is removed. The new file takes the old one's permissions. Its data
// reaches the disk before the rename, so after a power cut `path` is the old file or
// the new one, never an empty one.
bool writeFileReplacing(std::string_view path, std::string_view contents);

// One folder entry, as FindFirstFileA/FindNextFileA describe it.
struct FindEntry {
    std::string name;
    uint32_t attributes = 0;  // FILE_ATTR_DIRECTORY only for a real folder, never for a link
    bool isLink = false;
    bool isRegularFile = false;  // a plain file: not a folder, link, FIFO or device
    uint64_t size = 0;
};

// An open folder, for walks that work relative to each folder instead of by path: an
// operation costs the same at any depth, and a tree deeper than the path limit stays
// reachable. An entry is named exactly as a search lists it (no look-up ignoring case),
// and nothing here follows a symbolic link. A walk holds one open folder per level.
// Movable, not copyable; failures set lastError().
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // The folder at `path`, found as every path is. False when it does not exist, is no
    // folder, or is a link.
    bool open(std::string_view path);
    // The subfolder `name` of `parent`; false when it is no folder, or a link.
    bool open(const Folder& parent, std::string_view name);
    bool isOpen() const { return state_ != nullptr; }
    void close();

    // setAttributes of this folder itself.
    bool setOwnAttributes(uint32_t attributes) const;
    // setAttributes, deleteFile and removeDirectory of the entry `name` of this folder.
    bool setAttributes(std::string_view name, uint32_t attributes) const;
    bool deleteFile(std::string_view name) const;
    bool removeDirectory(std::string_view name) const;
    // fopen "rb" of the entry `name`, only when it is a regular file: a link, FIFO or
    // device is refused, also one swapped in after a search described the entry.
    // Null with lastError() on failure.
    std::FILE* openFileStream(std::string_view name) const;

private:
    friend class FolderSearch;
    struct State;  // the backend's
    State* state_ = nullptr;
};

// A folder search over every entry of one folder (the "*.*" of Windows), in the
// system's order: on Linux "." and ".." first, then the other names in byte order; on
// Windows as FindFirstFileA lists them (NTFS: by name, ignoring case). A symbolic link
// (or junction) is an entry of its own, and a search started on one lists nothing.
class FolderSearch {
public:
    FolderSearch() = default;
    ~FolderSearch();
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;

    // Starts the search of `folder`; false (with lastError) when it cannot start.
    bool first(std::string_view folder, FindEntry& entry);
    // Starts the search of an open folder, which stays open while the search runs.
    bool first(const Folder& folder, FindEntry& entry);
    // The next entry; false at the end with lastError() == winerr::NO_MORE_FILES.
    bool next(FindEntry& entry);
    void close();

private:
    struct State;
    State* state_ = nullptr;
};

// Converts a local calendar time to a FILETIME in UTC with the system's time zone
// (SystemTimeToFileTime + LocalFileTimeToFileTime). False for an invalid date or time.
// Windows applies the zone's current bias; Linux the bias of that date.
bool localTimeToFileTime(int year, int month, int day, int hour, int minute, int second,
                         FileTime& out);

}  // namespace platform
