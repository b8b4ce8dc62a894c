// Fuzzes the expansion of command-line templates and the choice of a template by service name.
// The input is the template kind (first byte), then the template, host, service detail and user
// separated by NUL bytes: neither a settings value nor a record value ever holds a NUL.
#include "core/command_template.h"
#include "core/settings_values.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string_view next_field(std::string_view& rest)
{
    const std::size_t end = rest.find('\0');
    const std::string_view field = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    return field;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const auto kind = data[0] & 1 ? sealkeep::TemplateKind::Cluster : sealkeep::TemplateKind::Service;
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string_view tmpl = next_field(rest);
    const std::string_view host = next_field(rest);
    const std::string_view serviceplus = next_field(rest);
    const std::string_view user = next_field(rest);

    const std::string expanded = sealkeep::expand_template(tmpl, kind, host, serviceplus, user);
    // Without a "%" there is nothing to expand.
    if (tmpl.find('%') == std::string_view::npos && expanded != tmpl)
        abort();

    // The template found for a service name is one of the four service templates.
    sealkeep::SettingsValues templates;
    templates.ssh_cmd = std::string(tmpl);
    const std::string* chosen = sealkeep::select_service_template(templates, host);
    if (chosen && chosen != &templates.ssh_cmd && chosen != &templates.ftp_cmd && chosen != &templates.http_cmd &&
        chosen != &templates.telnet_cmd)
        abort();
    (void)sealkeep::expand_service_command(templates, host, host, serviceplus, user);
    return 0;
}
