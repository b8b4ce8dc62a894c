// Command-line templates: selection by service name and expansion of %h, %s and %u.
#pragma once

#include "core/settings_values.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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

// Linux's limit on the length of one argument of a new program, its final NUL included (32 pages).
std::size_t max_argument_bytes();

// Whether `/bin/sh -c command_line` can be started with this environment when arguments,
// environment strings and their pointers together may take `arg_max` bytes.
bool fits_one_argument(std::string_view command_line, const std::vector<std::string>& environment, std::size_t arg_max);

// The same with the startup environment and this process's limit on arguments and environment.
bool fits_one_argument(std::string_view command_line);

} // namespace sealkeep
