// Asking ssh how it will reach a host.
#include "core/ssh_destination.h"

#include "core/child_process.h"

namespace sealkeep {

namespace {

// ssh prints a few kilobytes of settings; a configuration with long lists stays well below this.
constexpr std::size_t OUTPUT_LIMIT = 256 * 1024;

} // namespace

std::optional<SshDestination> parse_ssh_config_dump(std::string_view output)
{
    std::optional<std::string> user;
    std::optional<std::string> hostname;
    for (std::size_t start = 0; start < output.size();) {
        std::size_t end = output.find('\n', start);
        if (end == std::string_view::npos)
            end = output.size();
        const std::string_view line = output.substr(start, end - start);
        start = end + 1;
        // Keys come lower-case, one blank before the value.
        if (line.starts_with("user ") && !user)
            user = std::string(line.substr(5));
        else if (line.starts_with("hostname ") && !hostname)
            hostname = std::string(line.substr(9));
    }
    if (!user || !hostname || user->empty() || hostname->empty())
        return std::nullopt;
    return SshDestination{std::move(*user), std::move(*hostname)};
}

std::optional<SshDestination> resolve_ssh_destination(const std::string& host, std::chrono::milliseconds timeout,
                                                      const std::atomic<bool>* stop)
{
    // "--": a host written with a leading "-" is a host here, never an option.
    const ChildOutput result = run_for_output({"ssh", "-G", "--", host}, timeout, OUTPUT_LIMIT, stop);
    if (!result.succeeded)
        return std::nullopt;
    return parse_ssh_config_dump(result.output);
}

} // namespace sealkeep
