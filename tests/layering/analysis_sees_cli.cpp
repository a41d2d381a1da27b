// Must not build: the analysis layer lies below the command line.
#include "app/cli/cli.h"
