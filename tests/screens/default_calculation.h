// The default inputs calculated once for the whole test binary: the results
// screen's suites read it and none changes it, so one calculation serves all.
#pragma once

#include <string>

#include "record/analysis_state.h"
#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "record/results.h"
#include "test_doubles.h"

namespace quorrel::testing {

struct DefaultCalculation {
    AnalysisState state;
    ResultsRecord results;
    CalculationOutcome outcome = CalculationOutcome::failed;
};

inline const DefaultCalculation& default_calculation() {
    static const DefaultCalculation done = [] {
        DefaultCalculation d;
        apply_input_defaults(d.state);
        QuietHooks hooks;
        d.outcome = run_calculation(d.state, hooks, d.results);
        return d;
    }();
    return done;
}

}  // namespace quorrel::testing
