// The password helper's side of the private socket: one request, one reply.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace sealkeep {

// Asks the Sealkeep listening at `socket_path` for the password that answers `prompt` under `token`.
// The password, or nullopt when the answer is no, or Sealkeep cannot be reached or does not answer
// within `timeout`. The caller scrubs the password.
std::optional<std::string> ask_for_login_password(const std::string& socket_path, const std::string& token,
                                                  const std::string& prompt,
                                                  std::chrono::milliseconds timeout = std::chrono::seconds(10));

} // namespace sealkeep
