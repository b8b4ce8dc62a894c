// Command-line templates: selection by service name and expansion of %h, %s and %u.
#pragma once

#include <string>
#include <string_view>

namespace sealkeep {

enum class TemplateKind { Service, Cluster };

// Byte-wise expansion. Service templates know %h, %s and %u; the cluster template only %h.
// "%" and any other byte yields "%" (the byte is dropped); a trailing "%" stays.
std::string expand_template(std::string_view tmpl, TemplateKind kind, std::string_view host,
                            std::string_view serviceplus = {}, std::string_view user = {});

// The service template whose name begins with `service` (ASCII case ignored); the empty name
// selects ssh. nullptr when none matches.
const std::string* select_service_template(std::string_view service);

// The command line of one account, from the templates in force now; empty when no template matches.
std::string expand_service_command(std::string_view service, std::string_view host, std::string_view serviceplus,
                                   std::string_view user);

// Runs a command line through the shell and waits; the status is ignored by callers.
void run_shell_command(const std::string& command_line);

// Expands the cluster template with the host list (every host after one blank) and runs it.
void expand_cluster_command(std::string_view host_list);

} // namespace sealkeep
