// Sets an environment variable for the life of a test and puts the old value back after.
#pragma once

#include <stdlib.h>

#include <ctime>
#include <optional>
#include <string>

namespace pamirune::testing {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
    if (name_ == "TZ") ::tzset();
  }
  // Removes the variable for the life of the test.
  explicit ScopedEnv(const char* name) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_.c_str(), old_->c_str(), 1);
    else
      ::unsetenv(name_.c_str());
    if (name_ == "TZ") ::tzset();
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace pamirune::testing
