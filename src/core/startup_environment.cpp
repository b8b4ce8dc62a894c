// The environment as it was at start-up: one copy, taken before Sealkeep sets anything of its own.
#include "core/startup_environment.h"

#include <optional>

#include <unistd.h>

namespace sealkeep {

namespace {

std::optional<std::vector<std::string>>& remembered()
{
    static std::optional<std::vector<std::string>> entries;
    return entries;
}

std::vector<std::string> copy_entries(char** envp)
{
    std::vector<std::string> entries;
    for (char** entry = envp; entry && *entry; ++entry)
        entries.emplace_back(*entry);
    return entries;
}

} // namespace

void remember_startup_environment(char** envp)
{
    remembered() = copy_entries(envp);
}

const std::vector<std::string>& startup_environment()
{
    // Late is better than nothing: a process that never remembered still gets a stable snapshot
    // rather than whatever the environment holds at each run.
    if (!remembered())
        remembered() = copy_entries(environ);
    return *remembered();
}

} // namespace sealkeep
