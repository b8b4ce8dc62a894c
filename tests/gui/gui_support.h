// Shared helpers for the in-process GUI tests: the real main window is built once by gui_main.cpp.
#pragma once

#include "core/document.h"
#include "ui/window/main_window.h"

#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <functional>
#include <string>
#include <vector>

namespace sealkeep::test {

// The one main window of the test process (built by gui_main.cpp).
MainWindow& main_window();
// Hands the window state over to the tests; null destroys it (at exit).
void set_main_window(std::unique_ptr<MainWindow> main);

// The children of a container, in packing order.
std::vector<GtkWidget*> child_widgets(GtkWidget* container);

// A tree path as text, such as "0:1:0".
std::string path_string(GtkTreePath* path);

// The paths of the expanded rows of the entry tree view, sorted.
std::vector<std::string> expanded_paths();

// Runs the main loop until no event is pending.
void drain_events();

// Runs the main loop until every command started through start_command_line has ended and been
// reaped (at most 10 seconds); false when some are still running.
bool wait_for_commands();

// While it lives, the startup environment (what commands run by us see) has NAME=value in it too.
class StartupVariable {
public:
    StartupVariable(const std::string& name, const std::string& value);
    ~StartupVariable();
    StartupVariable(const StartupVariable&) = delete;
    StartupVariable& operator=(const StartupVariable&) = delete;

private:
    std::vector<std::string> saved_;
};

// Empties the tree and loads these record lines (as they would stand in the file, one per element,
// without line ending) through the real tree building and the real showing of a verified load, without
// gpg; sets database_loaded from the result.
int load_fixture(const std::vector<std::string>& lines);

// Runs the main loop until `done` holds or `seconds` have passed; returns whether it holds.
bool wait_until(const std::function<bool()>& done, double seconds = 20);

// Runs the main loop until the running load has ended (at most `seconds`); false when it still runs.
bool wait_for_load(int seconds = 30);

// The text the status bar shows now.
std::string status_text();

// The document the tree shows (null when nothing is loaded), and its records, one per record line.
const Document* document();
std::vector<const EntryRecord*> records();

// Runs a program and keeps the main loop running meanwhile (xclip asks this very process for the
// selection it owns). Its standard output, or nullopt when it failed.
std::optional<std::string> run_beside_loop(std::vector<const char*> argv);

// A file's whole content, or nullopt when it cannot be read.
std::optional<std::string> read_file(const std::string& path);

// "A;G;srv;ssh;22;root;pw" written out as a record line of the file, with every key.
std::string record_line(const std::string& seven_values);

// The text of the row at a path such as "0:1:0" (empty when there is no such row).
std::string row_text(const char* path);

// Runs `respond` from inside the next nested main loop (a dialog's gtk_dialog_run), once the
// dialog has been mapped; returns at once. `respond` gets the newest toplevel dialog.
void respond_in_nested_loop(void (*respond)(GtkWidget* dialog, void* data), void* data);

} // namespace sealkeep::test

namespace sealkeep::test {

// A fresh GNUPGHOME under a short path (the agent's socket lives inside it), made current for this
// process and its children; the agent is stopped and the folder removed when it goes.
class GnupgHome {
public:
    GnupgHome();
    ~GnupgHome();
    const std::string& path() const { return path_; }
    // Encrypts `plaintext` symmetrically with `passphrase` into a file in this home; returns its path.
    // `options` go to gpg's command line as they stand.
    std::string encrypt_symmetric(const std::string& plaintext, const std::string& passphrase,
                                  const std::string& name = "accounts.gpg", const std::string& options = "") const;

private:
    std::string path_;
    std::string previous_;
};

} // namespace sealkeep::test
