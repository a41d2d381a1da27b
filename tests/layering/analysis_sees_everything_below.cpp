// Builds: a layer sees every layer below it.
#include "core/analysis_state.h"
#include "core/pipeline.h"
#include "engine/solver.h"
#include "valuation/gompertz.h"
