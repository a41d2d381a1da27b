// Must not build: valuation lies below the engine.
#include "engine/solver.h"
