// Must not build: valuation lies below the engine.
#include "engine/standard/solver.h"
