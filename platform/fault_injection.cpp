#include "platform/fault_injection.h"

#include <array>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform::fault {

namespace detail {
// The backend's: the system's own error for `error` (errno, or the thread's last error).
void setSystemError(Error error);
}  // namespace detail

namespace {

constexpr std::array<const char*, kKinds> kKindNames = {
    "open",   "read",          "write",       "flush",          "replace",
    "delete", "create-folder", "list-folder", "set-attributes", "connect",
    "send",   "receive",       "accept",      "start-process",  "end-process",
};
constexpr std::array<const char*, kErrors> kErrorNames = {
    "disk-full", "io", "access-denied", "sharing-violation", "connection-reset", "time-out",
};

}  // namespace

const char* kindName(Kind kind) { return kKindNames[size_t(kind)]; }
const char* errorName(Error error) { return kErrorNames[size_t(error)]; }

std::optional<Plan> parsePlan(std::string_view text) {
    const size_t first = text.find(':');
    const size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    Plan plan;
    const std::string_view kind = text.substr(0, first);
    std::string_view number = text.substr(first + 1, second - first - 1);
    const std::string_view error = text.substr(second + 1);
    int k = 0;
    while (k < kKinds && kind != kKindNames[size_t(k)]) ++k;
    int e = 0;
    while (e < kErrors && error != kErrorNames[size_t(e)]) ++e;
    if (k == kKinds || e == kErrors) return std::nullopt;
    if (!number.empty() && number.back() == '+') {
        plan.onward = true;
        number.remove_suffix(1);
    }
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), plan.call);
    if (ec != std::errc() || end != number.data() + number.size() || plan.call == 0)
        return std::nullopt;
    plan.kind = Kind(k);
    plan.error = Error(e);
    if (!canGive(plan.kind, plan.error)) return std::nullopt;
    return plan;
}

bool canGive(Kind kind, Error error) {
    switch (kind) {
        case Kind::Open:
            return error == Error::DiskFull || error == Error::Io || error == Error::AccessDenied ||
                   error == Error::SharingViolation;
        case Kind::Read:
            return error == Error::Io;
        case Kind::Write:
        case Kind::Flush:
            return error == Error::DiskFull || error == Error::Io;
        case Kind::Replace:
        case Kind::Delete:
            return error == Error::AccessDenied || error == Error::SharingViolation ||
                   error == Error::Io;
        case Kind::CreateFolder:
            return error == Error::DiskFull || error == Error::AccessDenied;
        case Kind::ListFolder:
        case Kind::SetAttributes:
            return error == Error::AccessDenied || error == Error::Io;
        case Kind::Connect:
        case Kind::Send:
        case Kind::Receive:
        case Kind::Accept:
            return error == Error::ConnectionReset || error == Error::TimedOut;
        case Kind::StartProcess:
        case Kind::EndProcess:
            return error == Error::AccessDenied;
    }
    return false;
}

#ifdef LAUNCHER_TEST_HOOKS

namespace {

struct State {
    std::optional<Plan> plan;
    std::array<std::atomic<uint64_t>, kKinds> calls{};
    std::atomic<bool> fired{false};
    std::string countsFile;
};

State& state() {
    static State instance;
    return instance;
}

void writeCounts() {
    State& s = state();
    std::FILE* out = std::fopen(s.countsFile.c_str(), "w");
    if (!out) return;
    for (int k = 0; k < kKinds; ++k)
        std::fprintf(out, "%s %llu\n", kKindNames[size_t(k)],
                     static_cast<unsigned long long>(s.calls[size_t(k)].load()));
    std::fprintf(out, "fired %d\n", s.fired.load() ? 1 : 0);
    std::fclose(out);
}

// The plan and the counts file of the environment, read once, before the first call
// is counted.
void readEnvironment() {
    static std::once_flag once;
    std::call_once(once, [] {
        State& s = state();
        if (const char* text = std::getenv("LAUNCHER_TEST_FAULT"); text && *text) {
            s.plan = parsePlan(text);
            if (!s.plan) std::fprintf(stderr, "LAUNCHER_TEST_FAULT: no plan: %s\n", text);
        }
        if (const char* file = std::getenv("LAUNCHER_TEST_FAULT_COUNTS"); file && *file) {
            s.countsFile = file;
            std::atexit(writeCounts);
        }
    });
}

}  // namespace

bool available() { return true; }

void setPlan(const std::optional<Plan>& plan) {
    readEnvironment();
    State& s = state();
    s.plan = plan;
    for (auto& count : s.calls) count = 0;
    s.fired = false;
}

uint64_t calls(Kind kind) { return state().calls[size_t(kind)].load(); }

bool fired() { return state().fired.load(); }

bool injected(Kind kind) {
    readEnvironment();
    State& s = state();
    const uint64_t call = ++s.calls[size_t(kind)];
    const auto& plan = s.plan;
    if (!plan || plan->kind != kind || call < plan->call || (call > plan->call && !plan->onward))
        return false;
    s.fired = true;
    detail::setSystemError(plan->error);
    return true;
}

#else

bool available() { return false; }
void setPlan(const std::optional<Plan>&) {}
uint64_t calls(Kind) { return 0; }
bool fired() { return false; }
bool injected(Kind) { return false; }

#endif

}  // namespace platform::fault
