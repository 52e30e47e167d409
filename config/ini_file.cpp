#include "config/ini_file.h"

// Only the narrow variant is used: no wide-character converter is needed. The
// library's template code is compiled here, in the one file that uses it.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "platform/system.h"

// The narrow, case-insensitive variant (the library calls it CSimpleIniA; its
// "CaseA" variant is the case-sensitive one).
using IniDocument = CSimpleIniTempl<char, SI_NoCase<char>, SI_ConvertA<char>>;

struct IniFile::Document {
    IniDocument ini{false, false, false};
};

namespace {

void reportMiss(const std::string& key) {
    platform::debugOutput("IniFile : Name = " + key + " not find!");
}

}  // namespace

IniFile::IniFile() : document_(std::make_unique<Document>()) {
    // Skips a byte-order mark on load and writes one on save; bytes pass unchanged.
    document_->ini.SetUnicode(true);
}

IniFile::~IniFile() = default;

bool IniFile::Load(const std::string& name) {
    std::string path = name;
    if (!platform::pathExists(name)) {
        std::string folder = platform::currentDirectory();
        if (!folder.empty()) path = platform::joinPath(folder, name);
    }
    std::string bytes;
    // Read through the platform layer, so the name is found as Windows finds it.
    if (!platform::readWholeFile(path, bytes, kMaxIniFileBytes)) return false;
    return document_->ini.LoadData(bytes.data(), bytes.size()) == SI_OK;
}

void IniFile::LoadFromMemory(const char* buffer, size_t length) {
    document_->ini.Reset();
    document_->ini.LoadData(buffer, length);
}

std::string IniFile::GetValue(const std::string& key) {
    const char* value = document_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    if (!value) {
        reportMiss(key);
        return {};
    }
    return value;
}

std::string IniFile::GetOptionalValue(const std::string& key) const {
    const char* value = document_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return value ? value : "";
}

std::string IniFile::GetString(const std::string& key, const std::string& defaultValue) {
    std::string value = GetValue(key);
    return value.empty() ? defaultValue : value;
}

int IniFile::GetInt(const std::string& key) { return platform::atoiValue(GetValue(key)); }

bool IniFile::SetValue(const std::string& key, const std::string& value) {
    SI_Error rc = document_->ini.SetValue(section.c_str(), key.c_str(), value.c_str());
    if (rc < 0) {
        reportMiss(key);
        return false;
    }
    return true;
}

int IniFile::SaveDevSettings() {
    std::string text;
    SI_Error rc = document_->ini.Save(text, true);
    if (rc < 0) return rc;
    return platform::writeFileReplacing(kDevSettingsFile, text) ? SI_OK : SI_FILE;
}
