#include "support/builders/password_zip.h"
#include "support/builders/zip_builder.h"
#include "support/system/file_bytes.h"

namespace testsupport {

const char* passwordZipWriter() { return "the tests' zip builder"; }

// Deflated with the data-descriptor bit, as Info-ZIP writes them.
bool zipWithPassword(const std::string& folder, const std::vector<std::string>& names,
                     const std::string& password, const std::string& archive) {
    std::vector<ZipEntryPlan> entries;
    for (const auto& name : names) {
        ZipEntryPlan entry;
        entry.name = name;
        entry.data = readFile(folder + "/" + name);
        entry.deflate = true;
        entry.flags = 0x8;
        entry.password = password;
        entries.push_back(entry);
    }
    return writeFile(archive, buildZip(entries));
}

}  // namespace testsupport
