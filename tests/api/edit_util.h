// Helpers of the editing suites: where a cursor stands and what a node keeps
// of its source, each as one string so that one check compares them all and a
// failure shows every part.
#ifndef SPRIG_TESTS_API_EDIT_UTIL_H
#define SPRIG_TESTS_API_EDIT_UTIL_H

#include <string>

#include "api_util.h"

namespace api_test {

// "name@level.index" of the current element; "head@level" at a list head.
inline std::string At(SG_CURSOR c) {
  const std::string level = "@" + std::to_string(sgGetLevel(c));
  if (sgIsEmptyList(c)) return "head" + level;
  return Name(c) + level + "." + std::to_string(sgGetIndex(c));
}

// The tag number ("none" for 0xFFFFFFFF) and the tag positions of selectors
// 0 to 2: "none 0 0 0" for an element that no parser made.
inline std::string Tags(SG_CURSOR c) {
  const uint32_t number = sgGetTagCount(c);
  std::string out = number == kNone ? "none" : std::to_string(number);
  for (uint32_t selector = 0; selector < 3; ++selector) {
    out += " " + std::to_string(sgGetTagPos(c, selector));
  }
  return out;
}

}  // namespace api_test

#endif  // SPRIG_TESTS_API_EDIT_UTIL_H
