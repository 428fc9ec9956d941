// Running the Debian programs the interoperability tests compare our files with.
#pragma once

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace pamirune::testing {

// Runs a shell command and collects its standard output; the exit status, or -1 when the
// command could not be started or did not exit normally.
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = ::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  const int status = ::pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool HaveProgram(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

}  // namespace pamirune::testing
