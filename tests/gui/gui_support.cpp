// Shared helpers for the in-process GUI tests.
#include "gui/gui_support.h"

#include "core/document.h"
#include "core/record_line.h"
#include "core/startup_environment.h"
#include "core/tree_building.h"
#include "ui/actions/command_runner.h"
#include "ui/glib_ptr.h"
#include "ui/tree/account_model.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>
#include "ui/file/load_job.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace sealkeep::test {

namespace {
std::unique_ptr<MainWindow>& the_main_window()
{
    static std::unique_ptr<MainWindow> main;
    return main;
}
} // namespace

MainWindow& main_window()
{
    return *the_main_window();
}

void set_main_window(std::unique_ptr<MainWindow> main)
{
    the_main_window() = std::move(main);
}

std::vector<GtkWidget*> child_widgets(GtkWidget* container)
{
    GListPtr list{gtk_container_get_children(GTK_CONTAINER(container))};
    std::vector<GtkWidget*> result;
    for (GList* l = list.get(); l; l = l->next)
        result.push_back(GTK_WIDGET(l->data));
    return result;
}

std::string path_string(GtkTreePath* path)
{
    GCharPtr text{gtk_tree_path_to_string(path)};
    return text.get();
}

std::vector<std::string> expanded_paths()
{
    std::vector<std::string> paths;
    gtk_tree_view_map_expanded_rows(
        main_window().tree.view,
        [](GtkTreeView*, GtkTreePath* path, gpointer data) {
            static_cast<std::vector<std::string>*>(data)->push_back(path_string(path));
        },
        &paths);
    std::sort(paths.begin(), paths.end());
    return paths;
}

void drain_events()
{
    while (gtk_events_pending())
        gtk_main_iteration();
}

bool wait_for_commands()
{
    // A Log in starts its command once ssh has said how it reaches the hosts.
    const auto busy = [] { return running_command_count() > 0 || !main_window().login.resolving.empty(); };
    const gint64 deadline = g_get_monotonic_time() + 10 * G_TIME_SPAN_SECOND;
    while (busy() && g_get_monotonic_time() < deadline) {
        // Not a blocking iteration: a child's end may come while no other source is ready.
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(2000);
    }
    return !busy();
}

namespace {

void remember_entries(const std::vector<std::string>& entries)
{
    std::vector<char*> envp;
    for (const std::string& entry : entries)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    remember_startup_environment(envp.data());
}

} // namespace

StartupVariable::StartupVariable(const std::string& name, const std::string& value) : saved_(startup_environment())
{
    std::vector<std::string> entries;
    for (const std::string& entry : saved_)
        if (entry.compare(0, name.size() + 1, name + "=") != 0)
            entries.push_back(entry);
    entries.push_back(name + "=" + value);
    remember_entries(entries);
}

StartupVariable::~StartupVariable()
{
    remember_entries(saved_);
}

int load_fixture(const std::vector<std::string>& lines)
{
    MainWindow& main = main_window();
    clear_document(main);
    // As the load's worker builds it, from lines as read.
    auto document = std::make_unique<Document>(main.settings.values);
    for (const auto& text : lines)
        document->add_line(text + "\n");
    document->finish();
    show_loaded_rows(main, std::move(document));
    drain_events();
    return main.tree.database_loaded;
}

std::optional<std::string> run_beside_loop(std::vector<const char*> argv)
{
    argv.push_back(nullptr);
    GPid pid;
    gint out_fd = -1;
    if (!g_spawn_async_with_pipes(nullptr, const_cast<gchar**>(argv.data()), nullptr,
                                  static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
                                  nullptr, &pid, nullptr, &out_fd, nullptr, nullptr)) {
        ADD_FAILURE() << "cannot run " << argv[0];
        return std::nullopt;
    }
    struct Child {
        bool done = false;
        int status = 0;
    } child;
    g_child_watch_add(
        pid,
        [](GPid, gint status, gpointer data) {
            static_cast<Child*>(data)->status = status;
            static_cast<Child*>(data)->done = true;
        },
        &child);
    while (!child.done)
        g_main_context_iteration(nullptr, TRUE);
    g_spawn_close_pid(pid);
    std::string out;
    char buffer[512];
    ssize_t n;
    while ((n = read(out_fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<std::size_t>(n));
    close(out_fd);
    if (!WIFEXITED(child.status) || WEXITSTATUS(child.status) != 0)
        return std::nullopt;
    return out;
}

std::optional<std::string> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

const Document* document()
{
    return account_model_document(main_window().tree.model);
}

std::vector<const EntryRecord*> records()
{
    std::vector<const EntryRecord*> result;
    if (const Document* loaded = document())
        for (const EntryRecord& record : loaded->records())
            result.push_back(&record);
    return result;
}

bool wait_until(const std::function<bool()>& done, double seconds)
{
    const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(seconds * G_USEC_PER_SEC);
    while (!done() && g_get_monotonic_time() < deadline)
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(2000);
    return done();
}

bool wait_for_load(int seconds)
{
    const gint64 deadline = g_get_monotonic_time() + seconds * G_TIME_SPAN_SECOND;
    while (load_running(main_window().file) && g_get_monotonic_time() < deadline) {
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(2000);
    }
    drain_events();
    return !load_running(main_window().file);
}

std::string status_text()
{
    GtkStatusbar* bar = main_window().status.bar();
    // The message area holds the one label the bar shows its top message in.
    for (GtkWidget* child : child_widgets(gtk_statusbar_get_message_area(bar)))
        if (GTK_IS_LABEL(child))
            return gtk_label_get_text(GTK_LABEL(child));
    return {};
}

std::string record_line(const std::string& seven_values)
{
    static const char* const keys[] = {"customer", "group", "server", "service", "serviceplus", "user", "password"};
    std::string line;
    std::size_t start = 0;
    for (int i = 0; i < 7; ++i) {
        std::size_t end = i < 6 ? seven_values.find(';', start) : std::string::npos;
        line += std::string(i ? ";" : "") + keys[i] + "=" +
                seven_values.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? seven_values.size() : end + 1;
    }
    return line;
}

std::string row_text(const char* path)
{
    GtkTreeIter iter;
    GtkTreeModel* model = GTK_TREE_MODEL(main_window().tree.model);
    if (!gtk_tree_model_get_iter_from_string(model, &iter, path))
        return {};
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, COL_TEXT, &text, -1);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

namespace {
struct Pending {
    void (*respond)(GtkWidget*, void*);
    void* data;
};

gboolean respond_when_dialog_shown(gpointer user_data)
{
    auto* pending = static_cast<Pending*>(user_data);
    GList* toplevels = gtk_window_list_toplevels();
    GtkWidget* dialog = nullptr;
    for (GList* l = toplevels; l; l = l->next)
        if (GTK_IS_DIALOG(l->data) && gtk_widget_get_mapped(GTK_WIDGET(l->data)))
            dialog = GTK_WIDGET(l->data);
    g_list_free(toplevels);
    if (!dialog)
        return TRUE; // not shown yet: try again on the next round
    pending->respond(dialog, pending->data);
    delete pending;
    return FALSE;
}
} // namespace

void respond_in_nested_loop(void (*respond)(GtkWidget* dialog, void* data), void* data)
{
    g_timeout_add(20, respond_when_dialog_shown, new Pending{respond, data});
}

} // namespace sealkeep::test

namespace sealkeep::test {

GnupgHome::GnupgHome()
{
    char pattern[] = "/tmp/g.XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (const char* old = std::getenv("GNUPGHOME"))
        previous_ = old;
    setenv("GNUPGHOME", path_.c_str(), 1);
}

GnupgHome::~GnupgHome()
{
    std::string kill = "GNUPGHOME='" + path_ + "' gpgconf --kill gpg-agent >/dev/null 2>&1; rm -rf '" + path_ + "'";
    if (std::system(kill.c_str()) != 0)
        std::fprintf(stderr, "could not clean %s\n", path_.c_str());
    if (previous_.empty())
        unsetenv("GNUPGHOME");
    else
        setenv("GNUPGHOME", previous_.c_str(), 1);
}

std::string GnupgHome::encrypt_symmetric(const std::string& plaintext, const std::string& passphrase,
                                         const std::string& name, const std::string& options) const
{
    std::string out = path_ + "/" + name;
    // No symmetric-key cache: a later load must prove the passphrase it is given.
    std::string command = "gpg --batch --yes --quiet --no-symkey-cache --pinentry-mode loopback --passphrase '" +
                          passphrase + "' " + options + " -c -o '" + out + "'";
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe)
        throw std::runtime_error("cannot start gpg");
    std::fwrite(plaintext.data(), 1, plaintext.size(), pipe);
    if (pclose(pipe) != 0)
        throw std::runtime_error("gpg failed to encrypt");
    return out;
}

} // namespace sealkeep::test
