#pragma once
// The fault sweep: a program of a test build run once per injection point, each run
// failing one call of the platform layer (LAUNCHER_TEST_FAULT), with the counts the
// program reports (LAUNCHER_TEST_FAULT_COUNTS) telling the sweep when a kind has no
// further call to fail. The test checks what must hold after each run.
//
// Two forms: the short one CI runs (each kind with calls, its first error, a few calls
// spread over the calls a run without faults makes), and the whole sweep, chosen
// with LAUNCHER_FAULT_SWEEP=whole (scripts/fault-sweep.sh): every kind, every error it
// can give, calls 1, 2, 3, ... until a run makes no such call any more, and the same
// again with every call from N on failing (for the kind's first error).

#include <cstdint>
#include <functional>
#include <string>

#include "platform/fault_injection.h"

namespace testsupport {

struct FaultCounts {
    bool read = false;  // the file was there
    uint64_t calls[platform::fault::kKinds] = {};
    bool fired = false;
    uint64_t of(platform::fault::Kind kind) const { return calls[int(kind)]; }
};
FaultCounts readFaultCounts(const std::string& path);

enum class SweepForm { Short, Whole };
// LAUNCHER_FAULT_SWEEP=whole: the whole sweep; otherwise the short one.
SweepForm sweepForm();

// What one run gave: whether the planned failure happened.
struct SweepRun {
    bool fired = false;
};

struct SweepFigures {
    unsigned points = 0;  // runs whose failure happened
    unsigned perKind[platform::fault::kKinds] = {};
    double seconds = 0;
    std::string summary() const;  // "open 12, read 40, ... = 123 points in 456 s"
};

// Runs `run` with the text of each injection point ("write:3:disk-full") of `form`,
// given the counts of a run without faults. The short form takes `shortPoints` calls of
// each kind: the first and others spread evenly over the calls, or the middle one alone.
SweepFigures sweepInjectionPoints(const FaultCounts& baseline, SweepForm form,
                                  const std::function<SweepRun(const std::string& plan)>& run,
                                  unsigned shortPoints = 3);

}  // namespace testsupport
