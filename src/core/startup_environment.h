// The environment Sealkeep was started with, kept apart from the one it changes for itself, so the
// commands it runs for the user see the user's environment and not our own adjustments.
#pragma once

#include <string>
#include <vector>

namespace sealkeep {

// Copies `envp` ("NAME=value" entries up to a null pointer) as the startup environment, replacing any
// copy taken before. Call it first thing, before anything calls setenv.
void remember_startup_environment(char** envp);

// The remembered entries; when nothing was remembered, a copy of `environ` taken at the first call.
const std::vector<std::string>& startup_environment();

} // namespace sealkeep
