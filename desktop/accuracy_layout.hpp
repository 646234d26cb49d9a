// Where the accuracy page puts its plot, legend, texts and buttons.
#pragma once

#include "ui/accuracy_page.hpp"

namespace trelvane::desktop {

// The plot on the left; the figures, the buttons and the
// legend right of it.
constexpr ui::AccuracyLayout kAccuracyLayout = {
    {5, 5, 285, 285}, 3, {300, 230}, 16, {300, 5, 515, 21}, 20, {300, 192, 380, 214}, {392, 192, 515, 214},
};

}  // namespace trelvane::desktop
