// Where the handheld's health page puts its table and its two texts.
#pragma once

#include "ui/health_page.hpp"

namespace trelvane::pocket {

// The table at the top, scrolled sideways for its wider columns; the two
// texts under it in a smaller font, wrapped to the screen's width. No Reset:
// the counts start again with each link.
constexpr ui::HealthLayout kHealthLayout = {
    {2, 2, 238, 150}, {2, 153, 238, 190}, {2, 193, 238, 244}, {0, 0, 0, 0}, 10, 10,
};

}  // namespace trelvane::pocket
