// Command-line templates: which service template an account uses, placeholder expansion, the
// cluster line over several hosts, and whether a line can be handed to the shell at all.
#include "core/command_template.h"

#include "core/startup_environment.h"

#include <algorithm>
#include <array>

#include <unistd.h>

namespace sealkeep {

namespace {

struct ServiceTemplate {
    std::string_view name;
    std::string SettingsValues::*value;
};

// Order matters: the empty service name matches every row and so gets the first.
const std::array<ServiceTemplate, 4>& service_templates()
{
    static const std::array<ServiceTemplate, 4> table{{
        {"Ssh", &SettingsValues::ssh_cmd},
        {"Ftp", &SettingsValues::ftp_cmd},
        {"Http", &SettingsValues::http_cmd},
        {"Telnet", &SettingsValues::telnet_cmd},
    }};
    return table;
}

char ascii_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when `prefix` is the beginning of `name`, ASCII letters compared without case.
bool is_name_prefix(std::string_view prefix, std::string_view name)
{
    if (prefix.size() > name.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (ascii_lower(prefix[i]) != ascii_lower(name[i]))
            return false;
    return true;
}

// Length of the character that starts at `at`: the whole UTF-8 sequence when one is there, else
// one byte. Dropping only the lead byte after a "%" would leave stray continuation bytes behind
// and turn a valid template into invalid text.
std::size_t character_length(std::string_view text, std::size_t at)
{
    auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead <= 0xDF ? 2 : 1;
    if (length == 1 || lead > 0xF4 || at + length > text.size())
        return 1;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80)
            return 1;
    return length;
}

} // namespace

std::string expand_template(std::string_view tmpl, TemplateKind kind, std::string_view host,
                            std::string_view serviceplus, std::string_view user)
{
    std::string out;
    out.reserve(tmpl.size() + host.size());
    std::size_t i = 0;
    while (i < tmpl.size()) {
        char c = tmpl[i];
        if (c != '%' || i + 1 == tmpl.size()) {
            out += c;
            ++i;
            continue;
        }
        char letter = tmpl[i + 1];
        if (letter == 'h')
            out += host;
        else if (kind == TemplateKind::Service && letter == 's')
            out += serviceplus;
        else if (kind == TemplateKind::Service && letter == 'u')
            out += user;
        else
            out += '%';
        i += 1 + character_length(tmpl, i + 1);
    }
    return out;
}

const std::string* select_service_template(const SettingsValues& templates, std::string_view service)
{
    for (const auto& row : service_templates())
        if (is_name_prefix(service, row.name))
            return &(templates.*row.value);
    return nullptr;
}

std::string expand_service_command(const SettingsValues& templates, std::string_view service, std::string_view host, std::string_view serviceplus,
                                   std::string_view user)
{
    const std::string* tmpl = select_service_template(templates, service);
    // An unknown service gets an empty command line, silently: its account can still be copied.
    if (!tmpl)
        return {};
    return expand_template(*tmpl, TemplateKind::Service, host, serviceplus, user);
}

std::string expand_cluster_command(const SettingsValues& templates, std::string_view host_list)
{
    return expand_template(templates.cssh_cmd, TemplateKind::Cluster, host_list);
}

std::size_t max_argument_bytes()
{
    long page = sysconf(_SC_PAGESIZE);
    return 32 * static_cast<std::size_t>(page > 0 ? page : 4096);
}

bool fits_one_argument(std::string_view command_line, const std::vector<std::string>& environment, std::size_t arg_max)
{
    if (command_line.size() + 1 > max_argument_bytes())
        return false;
    constexpr std::string_view shell = "/bin/sh";
    constexpr std::string_view option = "-c";
    // The kernel copies the program's file name beside its arguments, and counts one pointer for
    // every argument and every environment entry; all of it must fit in the limit.
    std::size_t total = 2 * (shell.size() + 1) + option.size() + 1 + command_line.size() + 1;
    for (const std::string& entry : environment)
        total += entry.size() + 1;
    total += (3 + environment.size()) * sizeof(char*);
    return total <= arg_max;
}

bool fits_one_argument(std::string_view command_line)
{
    // The C library derives the limit from the stack limit, which the kernel caps at three quarters
    // of its default 8 MiB stack, and never lets it fall below 32 pages.
    constexpr std::size_t kernel_cap = 8u * 1024 * 1024 / 4 * 3;
    long reported = sysconf(_SC_ARG_MAX);
    std::size_t arg_max = reported > 0 ? static_cast<std::size_t>(reported) : max_argument_bytes();
    arg_max = std::max(std::min(arg_max, kernel_cap), max_argument_bytes());
    return fits_one_argument(command_line, startup_environment(), arg_max);
}

} // namespace sealkeep
