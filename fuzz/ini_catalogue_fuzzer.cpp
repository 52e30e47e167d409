// INI documents and message catalogues: load any bytes, look keys up (the ones the
// launcher asks for and every name the document seems to hold) and convert the values
// for display.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "config/catalogue.h"
#include "config/ini_file.h"
#include "config/update_context.h"
#include "support/loaded_converters.h"

namespace {

const char* const kSections[] = {"BOOT", "boot", "UPDATE", ""};
const char* const kKeys[] = {"MSG_UAC_TITLE", "MSG_UAC_CANTWRITE", "MSG_NET_ERROR", "VersionURL",
                             "DownloadURL",   "DownloadPort",      "country",       "select"};

// "[name]" and "name=" as a reader would guess them, so look-ups also hit what exists.
void guessNames(std::string_view text, std::vector<std::string>& sections,
                std::vector<std::string>& keys) {
    size_t start = 0;
    while (start < text.size() && sections.size() < 8 && keys.size() < 24) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.front() == '[') {
            size_t close = line.find(']');
            if (close != std::string_view::npos) sections.emplace_back(line.substr(1, close - 1));
        } else if (size_t equals = line.find('='); equals != std::string_view::npos) {
            keys.emplace_back(line.substr(0, equals));
        }
        start = end + 1;
    }
}

void display(const std::string& value) {
    if (toDisplayText(value).size() > kDisplayTextLimit) __builtin_trap();
    if (toDisplayText(value, "CP950").size() > kDisplayTextLimit) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::keepConvertersLoaded();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    std::vector<std::string> sections(std::begin(kSections), std::end(kSections));
    std::vector<std::string> keys(std::begin(kKeys), std::end(kKeys));
    guessNames(std::string_view(text, size), sections, keys);

    IniFile& messages = updateContext.messages;
    messages.LoadFromMemory(text, size);
    // Each distinct value found is converted once.
    std::set<std::string> values;
    for (const std::string& section : sections) {
        messages.section = section;
        for (const std::string& key : keys) {
            messages.GetInt(key);
            std::string value = messages.GetValue(key);
            if (!value.empty() && values.size() < 6) values.insert(value);
        }
    }
    for (const std::string& value : values) display(value);
    for (const char* key : kKeys)
        if (catalogueText(key).size() > kDisplayTextLimit) __builtin_trap();

    // The converter on its own, over the raw bytes.
    display(std::string(text, size));
    return 0;
}
