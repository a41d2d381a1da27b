// Must not build: the analysis layer lies below the command line.
#include "cli/cli.h"
