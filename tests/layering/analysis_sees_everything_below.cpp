// Builds: a layer sees every layer below it.
#include "record/analysis_state.h"
#include "analysis/pipeline.h"
#include "engine/standard/solver.h"
#include "valuation/gompertz.h"
