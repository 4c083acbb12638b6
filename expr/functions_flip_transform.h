// FLIP and TRANSFORM: rearranging a text around a separator, and formatting
// a number or a text through a picture template (functions after '@', then
// the template).
#pragma once

#include <string>

// The picture functions and the template of a TRANSFORM picture.
struct TransformPicture {
  bool creditMark = false;      // @C: " CR" after a number that is not negative
  bool debitMark = false;       // @X: " DB" after a negative number
  bool parenMark = false;       // @(: a negative number in parentheses
  bool leftJustify = false;     // @B
  bool blankZero = false;       // @Z
  bool upperCase = false;       // @!
  bool insertLiterals = false;  // @R: template literals are inserted
  std::string templ;
  explicit TransformPicture(const std::string& picture);
};

std::string FlipText(const std::string& text, const std::string& separator);
std::string TransformNumber(double x, const std::string& picture);
std::string TransformText(const std::string& text, const std::string& picture);
