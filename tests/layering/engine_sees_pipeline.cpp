// Must not build: the engine lies below the analysis layer.
#include "analysis/pipeline.h"
