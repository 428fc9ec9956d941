// pamirune-cli: the console front end. Parses the options into a job, runs it through the
// same driver as the window, and maps the result to an exit status.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return pamirune::RunCli(args, stdout, stderr, stdin);
}
