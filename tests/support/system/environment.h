#pragma once
// The test process's own environment, changed for a test.

#include <string>

namespace testsupport {

void setEnvironment(const std::string& name, const std::string& value);
void unsetEnvironment(const std::string& name);

// The separator between the folders of PATH: ':' on Linux, ';' on Windows.
char pathListSeparator();

// Puts a folder in front of PATH for the scope.
class PathPrefix {
public:
    explicit PathPrefix(const std::string& folder);
    ~PathPrefix();
    PathPrefix(const PathPrefix&) = delete;
    PathPrefix& operator=(const PathPrefix&) = delete;

private:
    std::string saved_;
};

}  // namespace testsupport
