// Expects a step to fail with one of the program's errors and its exact text.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace pamirune::testing {

template <class E, class Action>
void ExpectError(Action&& action, const std::string& text) {
  try {
    action();
    ADD_FAILURE() << "no error, expected: " << text;
  } catch (const E& e) {
    EXPECT_EQ(e.what(), text);
  }
}

}  // namespace pamirune::testing
