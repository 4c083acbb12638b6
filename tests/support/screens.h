// Where a "Screens" test writes its pictures: $VT_SCREENS_DIR under
// scripts/screens, else a scratch folder so a plain test run still draws them
// (each test program's own, under its home: tests/support/test_main.cpp).
#pragma once

#include <string>

std::string ScreenPath(const std::string& name);  // name without ".png"
