#include "support/sandbox/fault_sweep.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testsupport {

using platform::fault::Error;
using platform::fault::Kind;

FaultCounts readFaultCounts(const std::string& path) {
    FaultCounts counts;
    std::ifstream in(path);
    std::string name;
    uint64_t value = 0;
    while (in >> name >> value) {
        counts.read = true;
        if (name == "fired") counts.fired = value != 0;
        for (int k = 0; k < platform::fault::kKinds; ++k)
            if (name == platform::fault::kindName(Kind(k))) counts.calls[k] = value;
    }
    return counts;
}

SweepForm sweepForm() {
    const char* form = std::getenv("LAUNCHER_FAULT_SWEEP");
    return form && std::string(form) == "whole" ? SweepForm::Whole : SweepForm::Short;
}

std::string SweepFigures::summary() const {
    std::ostringstream out;
    for (int k = 0; k < platform::fault::kKinds; ++k)
        if (perKind[k]) out << platform::fault::kindName(Kind(k)) << " " << perKind[k] << ", ";
    out << "= " << points << " points in " << static_cast<long>(seconds) << " s";
    return out.str();
}

SweepFigures sweepInjectionPoints(const FaultCounts& baseline, SweepForm form,
                                  const std::function<SweepRun(const std::string& plan)>& run,
                                  unsigned shortPoints) {
    SweepFigures figures;
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < platform::fault::kKinds; ++k) {
        const Kind kind = Kind(k);
        const uint64_t made = baseline.calls[k];
        if (made == 0) continue;
        bool firstError = true;
        for (int e = 0; e < platform::fault::kErrors; ++e) {
            const Error error = Error(e);
            if (!platform::fault::canGive(kind, error)) continue;
            const bool whole = form == SweepForm::Whole;
            const uint64_t step = whole ? 1 : (made + shortPoints - 1) / shortPoints;
            const uint64_t first = whole || shortPoints > 1 ? 1 : (made + 1) / 2;
            for (bool onward : {false, true}) {
                if (onward && (!firstError || form == SweepForm::Short)) continue;
                for (uint64_t call = first;; call += step) {
                    if (form == SweepForm::Short && call > made) break;
                    const std::string plan = std::string(platform::fault::kindName(kind)) + ":" +
                                             std::to_string(call) + (onward ? "+" : "") + ":" +
                                             platform::fault::errorName(error);
                    const bool fired = run(plan).fired;
                    // The whole sweep runs long: each point as it is done.
                    if (whole) std::printf("%s%s\n", plan.c_str(), fired ? "" : " (no such call)");
                    if (!fired) break;
                    ++figures.points;
                    ++figures.perKind[k];
                }
            }
            if (form == SweepForm::Short) break;
            firstError = false;
        }
    }
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return figures;
}

}  // namespace testsupport
