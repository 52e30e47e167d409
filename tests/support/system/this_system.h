#pragma once
// Which system the tests run on, for the few expectations that differ between Linux
// and Windows on purpose. A table row says so with PerSystem and gives the reason.
// A row's Windows value is what Windows does (as documented); where Wine 8, on which the
// Windows suite runs, does otherwise, the test asks underWine() and says so.

namespace testsupport {

enum class System { Linux, Windows };

System thisSystem();
inline bool onWindows() { return thisSystem() == System::Windows; }
// The Windows tests run under Wine, which differs from Windows here and there; a check
// that Wine cannot pass asks this and says why.
bool underWine();

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
