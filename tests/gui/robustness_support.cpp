// Shared by the robustness tests: loads through the real prompt, the whole tree, what must stay untouched.
#include "gui/robustness_support.h"

#include "core/entry_record.h"
#include "core/settings_values.h"
#include "gui/gui_support.h"
#include "ui/file/load_job.h"
#include "ui/glib_ptr.h"
#include "ui/tree/entry_store.h"
#include "ui/window/main_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

namespace sealkeep::test {

namespace {

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
    GtkWidget* prompt = test::main_window().prompt.panel;
    gtk_widget_show(prompt);
    drain_events();
    GtkEntry* entry = test::main_window().prompt.entry;
    gtk_entry_set_text(entry, passphrase.c_str());
    LoadOutcome outcome;
    {
        StderrToFile errors;
        gtk_widget_activate(GTK_WIDGET(entry));
        if (!wait_for_load())
            ADD_FAILURE() << "the load did not end";
        outcome.errors = errors.finish();
    }
    drain_events();
    outcome.loaded = test::main_window().tree.database_loaded;
    return outcome;
}

std::vector<std::string> tree_rows()
{
    std::vector<std::string> rows;
    gtk_tree_model_foreach(
        GTK_TREE_MODEL(test::main_window().tree.model),
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
    state.settings = test::main_window().settings.values;
    state.clipboard = clipboard_text();
    state.search_text = gtk_entry_get_text(GTK_ENTRY(GTK_WIDGET(test::main_window().search.entry)));
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
