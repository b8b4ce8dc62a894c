// Shared by the robustness tests: loads through the real prompt, the whole tree, what must stay untouched.
#include "gui/robustness_support.h"

#include "ui/glib_ptr.h"
#include "core/settings_values.h"
#include "core/entry_record.h"
#include "ui/entry_store.h"
#include "gui/gui_support.h"
#include "ui/main_window.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

namespace sealkeep::test {

namespace {

GtkEntry* prompt_entry()
{
    // The panel holds a row whose first child is the passphrase entry.
    GListPtr rows{gtk_container_get_children(GTK_CONTAINER(main_window_widget(KEY_PROMPT_PASSWD)))};
    GListPtr row{gtk_container_get_children(GTK_CONTAINER(g_list_nth_data(rows.get(), 1)))};
    return GTK_ENTRY(g_list_nth_data(row.get(), 0));
}

// Points descriptor 2 at a file while it lives; what was written there is read back at the end.
class StderrToFile {
public:
    StderrToFile()
    {
        char pattern[] = "/tmp/skerr.XXXXXX";
        const int fd = mkstemp(pattern);
        path_ = pattern;
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~StderrToFile()
    {
        if (saved_ >= 0)
            finish();
        std::remove(path_.c_str());
    }
    std::string finish()
    {
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string path_;
    int saved_ = -1;
};

} // namespace

LoadOutcome load_through_prompt(const std::string& passphrase)
{
    GtkWidget* prompt = main_window_widget(KEY_PROMPT_PASSWD);
    gtk_widget_show(prompt);
    drain_events();
    GtkEntry* entry = prompt_entry();
    gtk_entry_set_text(entry, passphrase.c_str());
    LoadOutcome outcome;
    {
        StderrToFile errors;
        gtk_widget_activate(GTK_WIDGET(entry));
        outcome.errors = errors.finish();
    }
    drain_events();
    outcome.loaded = database_loaded;
    return outcome;
}

std::vector<std::string> tree_rows()
{
    std::vector<std::string> rows;
    gtk_tree_model_foreach(
        GTK_TREE_MODEL(entry_store()),
        [](GtkTreeModel* model, GtkTreePath* path, GtkTreeIter* iter, gpointer data) -> gboolean {
            GCharPtr where{gtk_tree_path_to_string(path)};
            gchar* raw = nullptr;
            gtk_tree_model_get(model, iter, COL_TEXT, &raw, -1);
            GCharPtr text{raw};
            static_cast<std::vector<std::string>*>(data)->push_back(std::string(where.get()) + " " +
                                                                    (text ? text.get() : ""));
            return FALSE;
        },
        &rows);
    return rows;
}

std::size_t count_of(const std::string& haystack, const std::string& needle)
{
    std::size_t count = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
        ++count;
    return count;
}

int open_descriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

std::string clipboard_text()
{
    GCharPtr text{gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD))};
    return text ? text.get() : "";
}

Untouched Untouched::now()
{
    Untouched state;
    for (std::size_t i = 0; i < state.settings.size(); ++i)
        state.settings[i] = *setting_keys()[i].value;
    state.clipboard = clipboard_text();
    state.search_text = gtk_entry_get_text(GTK_ENTRY(main_window_widget(KEY_SEARCH_ENTRY)));
    return state;
}

bool main_loop_runs()
{
    bool ran = false;
    g_idle_add(
        [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return FALSE;
        },
        &ran);
    drain_events();
    return ran;
}

} // namespace sealkeep::test
