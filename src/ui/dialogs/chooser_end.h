// The end of a file chooser. The toolkit's chooser starts asynchronous look-ups (its path bar asks for
// the icons of home, desktop and the folders shown) whose answers are drawn into its widgets without
// checking that they still exist: a chooser destroyed while one is on its way has the answer drawn
// into freed memory. A chooser answered at once (Escape right after it opened) is therefore hidden at
// once and destroyed only once such answers have long come back.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

void end_file_chooser(GtkWidget* chooser);

} // namespace sealkeep
