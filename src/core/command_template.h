// Command-line templates: selection by service name and expansion of %h, %s and %u.
#pragma once

#include "core/settings_values.h"

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
const std::string* select_service_template(const SettingsValues& templates, std::string_view service);

// The command line of one account from these templates; empty when no template matches.
std::string expand_service_command(const SettingsValues& templates, std::string_view service, std::string_view host, std::string_view serviceplus,
                                   std::string_view user);

// The cluster template expanded with the host list (every host after one blank).
std::string expand_cluster_command(const SettingsValues& templates, std::string_view host_list);

} // namespace sealkeep
