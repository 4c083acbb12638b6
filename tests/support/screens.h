// Where a "Screens" test writes its pictures: $VT_SCREENS_DIR under
// scripts/screens, else a scratch folder so a plain test run still draws them.
#pragma once

#include <string>

std::string ScreenPath(const std::string& name);  // name without ".png"
