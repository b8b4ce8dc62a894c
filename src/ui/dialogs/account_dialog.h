// The account dialog of Add, Edit and Duplicate: the seven values, each checked where it is typed.
#pragma once

#include "core/document_edit.h"

#include <gtk/gtk.h>

namespace sealkeep {

struct WindowSettings;

// Shows the dialog with `values` filled in; true when the user pressed OK, with `values` holding the
// texts as typed (not trimmed: the edit trims what changed). OK cannot be given while a value is refused.
bool run_account_dialog(GtkWindow* parent, WindowSettings& settings, const char* title, AccountText& values);

// The message shown beside a field for a refused value ("" when the value is fine).
const char* value_problem_text(ValueProblem problem);

} // namespace sealkeep
