// Copying to CLIPBOARD and PRIMARY with Sealkeep as their owner, and keeping a copied password there no
// longer than it has to be: a count-down in the status row clears it, so does locking and quitting.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <string_view>

namespace sealkeep {

class StatusRow;

enum class CopyKind {
    Text,     // stays until something else replaces it (command lines)
    Password, // marked for clipboard managers as not to be kept, and cleared after the set delay
};

// What the two selections offer while Sealkeep owns them. Both selections serve the same text.
struct ClipboardState {
    // The count-down is shown in the status row.
    explicit ClipboardState(StatusRow& status) : status(status) {}
    ClipboardState(const ClipboardState&) = delete;
    ClipboardState& operator=(const ClipboardState&) = delete;
    // Overwrites the text; the count-down must have been stopped by its owner (release_clipboard).
    ~ClipboardState();

    StatusRow& status;
    std::string text; // UTF-8, overwritten once neither selection is ours any more
    CopyKind kind = CopyKind::Text;
    bool owned[2] = {false, false}; // CLIPBOARD, PRIMARY: set on copy, dropped when the selection is lost
    guint countdown_source = 0;
    int seconds_left = 0;
};

// Puts the value on both selections. An empty value copies nothing: the selections keep what they held.
// A value that is not UTF-8 is offered as Latin-1 converted to UTF-8, and as its own bytes for STRING.
// A password restarts the count-down from clear_seconds (0 never clears).
void copy_to_clipboard(ClipboardState& clipboard, std::string_view value, CopyKind kind = CopyKind::Text,
                       int clear_seconds = 0);

// Takes a copied password off the selections Sealkeep still owns and ends the count-down; a selection
// that another program took meanwhile is left as it is. A copied command line stays.
void clear_copied_password(ClipboardState& clipboard);

// Gives up whatever Sealkeep still owns of the selections (before the program ends), without handing
// it to a clipboard manager.
void release_clipboard(ClipboardState& clipboard);

} // namespace sealkeep
