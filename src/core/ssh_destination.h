// How ssh will reach a host: asked of ssh itself (`ssh -G`), which applies the user's configuration
// (Host aliases, HostName, User, Match) the way the real connection will.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace sealkeep {

struct SshDestination {
    std::string user;     // the user ssh logs in as when the command line names none
    std::string hostname; // the host it connects to
};

// The "user" and "hostname" lines of `ssh -G` output; nullopt when either is missing.
std::optional<SshDestination> parse_ssh_config_dump(std::string_view output);

// Runs `ssh -G -- HOST` (the ssh first on PATH), for at most `timeout`, or until `stop` is set.
std::optional<SshDestination> resolve_ssh_destination(const std::string& host, std::chrono::milliseconds timeout,
                                                      const std::atomic<bool>* stop = nullptr);

} // namespace sealkeep
