// Where the desktop's charts page puts its span and its four charts.
#pragma once

#include "ui/charts_page.hpp"

namespace trelvane::desktop {

// The span at the top left; the charts stacked across the page, the C/N0
// tallest (its legend above it), the fix and altitude last with the time
// labels under it. A 40-pixel margin holds each chart's scale.
constexpr ui::ChartsLayout kChartsLayout = {
    {5, 5, 105, 105},
    {{5, 30, 515, 146}, {5, 150, 515, 208}, {5, 212, 515, 270}, {5, 274, 515, 338}},
    40,
    0,
    false,
};

}  // namespace trelvane::desktop
