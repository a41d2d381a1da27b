// What the lane kernel body needs, for the lane_kernel_<instruction set>.cpp
// files to include before they switch the instruction set: code from these
// headers must stay built for the default one, since a copy of an inline
// function built for a wider set could stand in for every caller at link time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "record/errors.h"
#include "engine/standard/lane_kernel.h"
#include "engine/standard/scheme_common.h"
