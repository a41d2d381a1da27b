// What the lane kernel body needs, for the lane_kernel_<instruction set>.cpp
// files to include before they switch the instruction set: code from these
// headers must stay built for the default one, since a copy of an inline
// function built for a wider set could stand in for every caller at link time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/errors.h"
#include "engine/lane_kernel.h"
#include "engine/scheme_common.h"
