// FLIP and TRANSFORM: rearranging a text around a separator, and formatting
// a number or a text through a picture template.
#pragma once

#include <string>

struct TransformState;
// The text FLIP gives for a string and a separator.
std::string FlipText(const std::string& text, const std::string& separator);
