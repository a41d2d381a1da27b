// What the path kernel body needs, for the path_lanes_<instruction set>.cpp
// files to include before they switch the instruction set: code from these
// headers must stay built for the default one, since a copy of an inline
// function built for a wider set could stand in for every caller at link time.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/simulation/path_lanes.h"
