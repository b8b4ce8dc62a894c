// The dialog of Change password…: whose accounts under the selection change, and to what.
#pragma once

#include <gtk/gtk.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace sealkeep {

struct WindowSettings;

// Shows the dialog with `user` filled in. `count_for` tells how many accounts a user name would change;
// the dialog shows it as it is typed, and OK needs at least one and a password that the file can hold.
// True on OK, with `user` and `password` as typed.
bool run_password_change_dialog(GtkWindow* parent, WindowSettings& settings, std::string& user, std::string& password,
                                const std::function<std::size_t(std::string_view)>& count_for);

} // namespace sealkeep
