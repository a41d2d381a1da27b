// Must not build: the record layer lies below valuation.
#include "valuation/gompertz.h"
