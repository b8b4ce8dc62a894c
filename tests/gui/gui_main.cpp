// Test entry for the in-process GUI tests: real settings on the private bus, the real main window.
#include "core/startup_environment.h"
#include "ui/settings_store.h"
#include "ui/main_window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <unistd.h>

int main(int argc, char** argv)
{
    // As the program does: commands see the environment from before load_settings changed it.
    sealkeep::remember_startup_environment(environ);
    testing::InitGoogleTest(&argc, argv);
    sealkeep::load_settings();
    gtk_test_init(&argc, &argv, nullptr);
    // Warnings from our own code fail the tests; gtk_test_init made them fatal, the toolkit's
    // harmless theme notices are not ours to fail on.
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL));
    sealkeep::create_main_window();
    while (gtk_events_pending())
        gtk_main_iteration();
    return RUN_ALL_TESTS();
}
