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

// Catalogue look-up: section "BOOT" of the messages, the built-in default when the key
// is missing or empty, converted for display.
std::string catalogueText(const std::string& key);

// Longest display text: 510 UTF-16 units before the conversion and 510 bytes after it
// (buffers of 512 with the terminator).
inline constexpr size_t kDisplayTextLimit = 510;

// UTF-8 to the ANSI code page; empty when the text or its converted form exceeds
// kDisplayTextLimit characters or bytes.
std::string toDisplayText(const std::string& text);
// The same conversion into a chosen codeset (tests use "CP950").
std::string toDisplayText(const std::string& text, const char* targetCodeset);
