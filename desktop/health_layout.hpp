// Where the health page puts its table, its two texts and Reset.
#pragma once

#include "ui/health_page.hpp"

namespace trelvane::desktop {

// The table across the page; the clock's line and the times to first fix
// under it, each with room for wrapped lines; Reset at the bottom right.
constexpr ui::HealthLayout kHealthLayout = {
    {5, 5, 515, 250}, {5, 256, 515, 286}, {5, 290, 425, 338}, {435, 300, 515, 324}, 13, 0,
};

}  // namespace trelvane::desktop
