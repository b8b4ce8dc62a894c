// Shared by the robustness tests: a load through the real prompt with standard error captured, a look
// at the whole tree, and a snapshot of what a fault must not disturb (settings in memory, clipboard,
// search text).
#pragma once

#include "core/settings_values.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace sealkeep::test {

// What one load through the prompt left behind.
struct LoadOutcome {
    int loaded = 0;     // database_loaded once the load has ended
    std::string errors; // what the process wrote on standard error meanwhile
};

// Types the passphrase into the real prompt and confirms it, as a person does, with the password file
// path in use, and runs the main loop until the load has ended; standard error is captured meanwhile.
LoadOutcome load_through_prompt(const std::string& passphrase);

// Every row text of the store in walk order (each row before its children), with its path: "0:1 text".
std::vector<std::string> tree_rows();

// How many times `needle` occurs in `haystack`.
std::size_t count_of(const std::string& haystack, const std::string& needle);

// Descriptors open in this process right now.
int open_descriptors();

// The clipboard's text as another program would get it ("" when empty).
std::string clipboard_text();

// What a fault must leave as it was.
struct Untouched {
    SettingsValues settings;
    std::string clipboard;
    std::string search_text;

    static Untouched now();
    bool operator==(const Untouched&) const = default;
};

// The main loop still runs: an idle callback queued now runs when the loop is drained.
bool main_loop_runs();

} // namespace sealkeep::test
