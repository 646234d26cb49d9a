// Where the handheld's charts page puts its two charts: the last five
// minutes of C/N0 (its system letters above it) and of the satellites used
// and in view (the time labels under it), in the small font.
#pragma once

#include "ui/charts_page.hpp"

namespace trelvane::pocket {

constexpr ui::ChartsLayout kChartsLayout = {
    {0, 0, 0, 0},
    {{2, 2, 236, 150}, {2, 154, 236, 244}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    22,
    10,
    true,
};

}  // namespace trelvane::pocket
