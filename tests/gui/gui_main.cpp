// Test entry for the in-process GUI tests: real settings on the private bus, the real main window.
#include "core/startup_environment.h"
#include "gui/gui_support.h"
#include "ui/actions/clipboard.h"
#include "ui/settings/settings_store.h"
#include "ui/window/main_window.h"

#include <cstdlib>

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <unistd.h>

#include <utility>

namespace {

// A password one test copied keeps counting down in the status bar: it goes when its test ends, so
// that the next test reads its own status line.
class ClearCopiedPasswords : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override { sealkeep::clear_copied_password(sealkeep::test::main_window().clipboard); }
};

} // namespace

int main(int argc, char** argv)
{
    // As the program does: commands see the environment from before load_settings changed it.
    sealkeep::remember_startup_environment(environ);
    testing::InitGoogleTest(&argc, argv);
    sealkeep::RefPtr<GSettings> settings = sealkeep::open_settings();
    sealkeep::SettingsValues values = sealkeep::load_settings(settings.get());
    gtk_test_init(&argc, &argv, nullptr);
    // Warnings from our own code fail the tests; gtk_test_init made them fatal, the toolkit's
    // harmless theme notices are not ours to fail on.
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL));
    sealkeep::test::set_main_window(sealkeep::create_main_window(std::move(values), std::move(settings)));
    // Log in's password helper is built beside the program, not beside this test binary.
    if (const char* helper = std::getenv("SEALKEEP_ASKPASS"))
        sealkeep::test::main_window().login.helper = helper;
    while (gtk_events_pending())
        gtk_main_iteration();
    testing::UnitTest::GetInstance()->listeners().Append(new ClearCopiedPasswords);
    const int status = RUN_ALL_TESTS();
    // Ends gpg of a load a failed test left running before the process goes.
    sealkeep::test::set_main_window(nullptr);
    return status;
}
