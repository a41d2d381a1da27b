// Must not build: the engine lies below the analysis layer.
#include "core/pipeline.h"
