#pragma once
// Which system the tests run on, for the few expectations that differ between Linux
// and Windows on purpose. A table row says so with PerSystem and gives the reason.

namespace testsupport {

enum class System { Linux, Windows };

System thisSystem();
inline bool onWindows() { return thisSystem() == System::Windows; }

// An expected value that differs between the systems on purpose; `why` says why.
template <typename T>
struct PerSystem {
    T onLinux;
    T onWindows;
    const char* why;
    const T& here() const { return testsupport::onWindows() ? onWindows : onLinux; }
};

// The same expectation on every system.
template <typename T>
PerSystem<T> same(T value) {
    return {value, value, nullptr};
}

}  // namespace testsupport
