// Where the accuracy page puts its plot, legend, texts and buttons.
#pragma once

#include "ui/accuracy_page.hpp"

namespace trelvane::pocket {

// The plot at the top left, the legend and the buttons
// right of it, the figures below.
// The texts in a smaller font, so that the longest fits the screen's width.
constexpr ui::AccuracyLayout kAccuracyLayout = {
    {2, 2, 114, 114}, 2, {120, 2}, 12, 1, 118, {2, 117, 238, 130}, 14, 10, {120, 78, 238, 95}, {120, 97, 238, 113},
};

}  // namespace trelvane::pocket
