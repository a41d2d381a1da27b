#include "core/results.h"

#include <cmath>

namespace quorrel {

double life_expectancy_shown(double expected_death_age) { return std::floor(expected_death_age) + 1; }

const std::array<std::array<const char*, 4>, 4>& ruin_cell_names() {
    static const std::array<std::array<const char*, 4>, 4> names{{
        {"Text2", "Text3", "Text4", "Text5"},
        {"Text6", "Text7", "Text29", "Text30"},
        {"Text31", "Text32", "Text33", "Text34"},
        {"Text35", "Text36", "Text37", "Text38"},
    }};
    return names;
}

const std::array<std::array<const char*, 3>, 3>& estate_cell_names() {
    static const std::array<std::array<const char*, 3>, 3> names{{
        {"Text54(0)", "Text55(0)", "Text56(0)"},
        {"Text57(0)", "Text58(0)", "Text59(0)"},
        {"Text60(0)", "Text61(0)", "Text62(0)"},
    }};
    return names;
}

}  // namespace quorrel
