// Hiding a file chooser now and destroying it after its look-ups have come back.
#include "ui/dialogs/chooser_end.h"

namespace sealkeep {

namespace {

// Local look-ups come back within milliseconds; a slow network folder may take longer, and is given
// seconds.
constexpr guint SETTLE_SECONDS = 3;

gboolean destroy_chooser(gpointer chooser)
{
    gtk_widget_destroy(GTK_WIDGET(chooser));
    g_object_unref(chooser);
    return G_SOURCE_REMOVE;
}

} // namespace

void end_file_chooser(GtkWidget* chooser)
{
    gtk_widget_hide(chooser);
    g_timeout_add_seconds(SETTLE_SECONDS, destroy_chooser, g_object_ref(chooser));
}

} // namespace sealkeep
