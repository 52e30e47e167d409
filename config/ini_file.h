#pragma once
// One INI document plus the section that look-ups go to. Look-ups never fail: a miss
// leaves the line "IniFile : Name = %s not find!" on the debugger output.

#include <cstddef>
#include <memory>
#include <string>

template <class, class, class>
class CSimpleIniTempl;

// The developer settings file, in the current folder: loaded by the entry point, checked
// by crash mode, written by SaveDevSettings.
inline constexpr char kDevSettingsFile[] = "KilnDev.ini";

// Settings are read whole into memory. What lies on disk is read whatever its size
// up to this guard, far above any real settings file, so a damaged or planted file
// cannot exhaust memory.
inline constexpr size_t kMaxIniFileBytes = 64 * 1024 * 1024;
// What comes from the network is held to much less: a server's endless "version.txt"
// fails its fetch at this size.
inline constexpr size_t kMaxDownloadedIniBytes = 1024 * 1024;

class IniFile {
public:
    IniFile();
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    std::string section = "BOOT";

    // False, with the document unchanged, when the file is missing, is no regular file
    // (a FIFO or device under the name reads as missing) or is larger than
    // kMaxIniFileBytes.
    bool Load(const std::string& name);
    void LoadFromMemory(const char* buffer, size_t length);
    std::string GetValue(const std::string& key);
    // GetValue for a key whose absence is normal (an opt-in): a miss leaves no line.
    std::string GetOptionalValue(const std::string& key) const;
    std::string GetString(const std::string& key, const std::string& defaultValue);
    int GetInt(const std::string& key);
    bool SetValue(const std::string& key, const std::string& value);
    // Writes "KilnDev.ini" through a temporary file that replaces it only when it is
    // complete, so a full disk leaves the old settings as they were: -3 then.
    int SaveDevSettings();

private:
    struct Document;
    std::unique_ptr<Document> document_;
};
