// Where the accuracy page puts its plot, legend, texts and buttons.
#pragma once

#include "ui/accuracy_page.hpp"

namespace trelvane::desktop {

// The plot on the left with the legend under it; the figures right of it,
// each with room for a second line, and the buttons under them.
constexpr ui::AccuracyLayout kAccuracyLayout = {
    {5, 5, 285, 285}, 3, {5, 292}, 16, 3, 95, {300, 5, 517, 31}, 26, 0, {300, 250, 380, 272}, {392, 250, 517, 272},
};

}  // namespace trelvane::desktop
