// Process start: settings first, then the command line, the toolkit and the main window.
#include "app/startup.h"

#include "core/command_line.h"
#include "core/startup_environment.h"
#include "ui/i18n.h"
#include "ui/settings/settings_store.h"
#include "ui/window/main_window.h"

#include <glib.h>
#include <gtk/gtk.h>
#include <libintl.h>

#include <clocale>
#include <memory>
#include <utility>

#include <unistd.h>

namespace sealkeep {

void print_usage(const char* program_name)
{
    g_print("%s", usage_text(program_name).c_str());
}

void init_toolkit()
{
    std::setlocale(LC_ALL, "");
    bindtextdomain(SEALKEEP_TEXT_DOMAIN, SEALKEEP_LOCALE_DIR);
    bind_textdomain_codeset(SEALKEEP_TEXT_DOMAIN, "UTF-8");
    textdomain(SEALKEEP_TEXT_DOMAIN);

    // The toolkit never sees our command line: options meant for it are ours to reject.
    // Element 0 is empty, so the program name is set here, or the window class and every
    // toolkit warning would read "." and no desktop file could match the window.
    static char empty[] = "";
    static char* toolkit_argv[] = {empty, nullptr};
    static char** toolkit_argv_ptr = toolkit_argv;
    static int toolkit_argc = 1;
    g_set_prgname("sealkeep");
    gtk_init(&toolkit_argc, &toolkit_argv_ptr);
}

void run_main_window(SettingsValues settings, RefPtr<GSettings> settings_object, bool ask_at_start,
                     bool file_path_given)
{
    std::unique_ptr<MainWindow> main = create_main_window(std::move(settings), std::move(settings_object));
    main->settings.file_path_given = file_path_given;
    if (!ask_at_start)
        gtk_widget_hide(main->prompt.panel);
    gtk_main();
    // Going out of scope stops a load that still runs: gpg is ended and its worker joined.
}

int sealkeep_main(int argc, char** argv)
{
    // Commands get the environment Sealkeep was started with, not what it set for itself.
    remember_startup_environment(environ);
    // --help and --version answer before the settings are opened: they work where the schema is missing.
    CommandLine command_line = parse_command_line(argc, argv);
    if (command_line.show_usage) {
        print_usage(argc > 0 ? argv[0] : "");
        return 0;
    }
    if (command_line.show_version) {
        g_print("%s", version_text().c_str());
        return 0;
    }
    RefPtr<GSettings> settings_object = open_settings();
    SettingsValues settings = load_settings(settings_object.get());
    if (command_line.file_path)
        settings.password_file_path = *command_line.file_path;

    init_toolkit();
    run_main_window(std::move(settings), std::move(settings_object), command_line.ask_at_start,
                    command_line.file_path.has_value());
    return 0;
}

} // namespace sealkeep
