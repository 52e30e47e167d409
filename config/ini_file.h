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

class IniFile {
public:
    IniFile();
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    std::string section = "BOOT";

    bool Load(const std::string& name);
    void LoadFromMemory(const char* buffer, size_t length);
    std::string GetValue(const std::string& key);
    std::string GetString(const std::string& key, const std::string& defaultValue);
    int GetInt(const std::string& key);
    bool SetValue(const std::string& key, const std::string& value);
    int SaveDevSettings();

private:
    struct Document;
    std::unique_ptr<Document> document_;
};
