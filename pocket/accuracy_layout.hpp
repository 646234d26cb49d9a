// Where the accuracy page puts its plot, legend, texts and buttons.
#pragma once

#include "ui/accuracy_page.hpp"

namespace trelvane::pocket {

// The plot at the top left, the legend and the buttons
// right of it, the figures below.
constexpr ui::AccuracyLayout kAccuracyLayout = {
    {2, 2, 130, 130}, 2, {136, 4}, 13, {2, 134, 238, 146}, 12, {136, 88, 236, 106}, {136, 110, 236, 126},
};

}  // namespace trelvane::pocket
