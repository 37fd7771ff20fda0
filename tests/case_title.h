// Names for the cases of parameterised tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

// Names a parameterised case after its title, so that every test has a
// stable name that `ctest -R` can select.
template <class Case> std::string titleOf(const testing::TestParamInfo<Case> &param) {
  return param.param.title;
}
