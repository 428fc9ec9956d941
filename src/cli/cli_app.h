// The console front end's job runner, callable from tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pamirune {

class Platform;

// The settings file the console shares with the window program: the one the window program
// beside it uses (Pamirune.ini beside them in a portable install, else the user's config folder).
std::string SharedSettingsFile(Platform& platform);

// Runs pamirune-cli with the arguments; returns the exit status (0 ran to its end, 1 stopped
// early, 2 usage error). platform may be null for the Linux services.
int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in,
           Platform* platform = nullptr);

}  // namespace pamirune
