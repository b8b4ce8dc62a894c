// Process start: settings first, then the command line, the toolkit and the main window.
#include "app/startup.h"

#include "core/command_line.h"
#include "core/startup_environment.h"
#include "ui/settings_store.h"
#include "core/settings_values.h"
#include "ui/i18n.h"
#include "ui/main_window.h"

#include <glib.h>
#include <gtk/gtk.h>
#include <libintl.h>

#include <clocale>

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

void run_main_window(bool ask_at_start)
{
    GtkWidget* window = create_main_window();
    if (!ask_at_start)
        gtk_widget_hide(static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(window), KEY_PROMPT_PASSWD)));
    gtk_main();
}

int sealkeep_main(int argc, char** argv)
{
    // Before load_settings sets GSETTINGS_BACKEND: the commands we run get the user's environment.
    remember_startup_environment(environ);
    load_settings();

    CommandLine command_line = parse_command_line(argc, argv);
    if (command_line.show_usage) {
        print_usage(argc > 0 ? argv[0] : "");
        return 0;
    }
    if (command_line.file_path)
        password_file_path = *command_line.file_path;

    init_toolkit();
    run_main_window(command_line.ask_at_start);
    return 0;
}

} // namespace sealkeep
