// Copying with Sealkeep as the owner of CLIPBOARD and PRIMARY: the toolkit asks for the text whenever
// another program pastes, and tells when another program took a selection over. A password is offered
// with a hint that clipboard managers should not keep it, and goes away after the set delay.
#include "ui/actions/clipboard.h"

#include "core/text_encoding.h"
#include "ui/glib_ptr.h"
#include "ui/i18n.h"
#include "ui/status/status_row.h"

namespace sealkeep {

namespace {

constexpr const char* PASSWORD_HINT_TARGET = "x-kde-passwordManagerHint";

enum TargetInfo : guint { INFO_TEXT, INFO_PASSWORD_HINT };

GtkClipboard* selection_clipboard(int index)
{
    return gtk_clipboard_get(index == 0 ? GDK_SELECTION_CLIPBOARD : GDK_SELECTION_PRIMARY);
}

void on_get(GtkClipboard*, GtkSelectionData* data, guint info, gpointer user_data)
{
    const ClipboardState& state = *static_cast<ClipboardState*>(user_data);
    if (info == INFO_PASSWORD_HINT) {
        static constexpr char SECRET[] = "secret";
        gtk_selection_data_set(data, gdk_atom_intern_static_string(PASSWORD_HINT_TARGET), 8,
                               reinterpret_cast<const guchar*>(SECRET), sizeof SECRET - 1);
        return;
    }
    // For STRING the toolkit converts to Latin-1: a value taken as Latin-1 gets its own bytes back.
    gtk_selection_data_set_text(data, state.text.c_str(), static_cast<gint>(state.text.size()));
}

void show_countdown(ClipboardState& state)
{
    const int left = state.seconds_left;
    GCharPtr text{g_strdup_printf(P_("Clipboard cleared in %d s", "Clipboard cleared in %d s", left), left)};
    state.status.show_countdown(text.get());
}

void stop_countdown(ClipboardState& state)
{
    if (state.countdown_source) {
        g_source_remove(state.countdown_source);
        state.countdown_source = 0;
    }
    state.status.end_countdown();
}

// The toolkit calls this when a selection stops being ours: another program took it, or we cleared it
// or copied anew. The text goes once neither selection offers it.
void on_lost(GtkClipboard* clipboard, gpointer user_data)
{
    ClipboardState& state = *static_cast<ClipboardState*>(user_data);
    for (int index = 0; index < 2; ++index)
        if (selection_clipboard(index) == clipboard)
            state.owned[index] = false;
    if (state.owned[0] || state.owned[1])
        return;
    stop_countdown(state);
    scrub(state.text);
}

gboolean on_countdown_tick(gpointer user_data)
{
    ClipboardState& state = *static_cast<ClipboardState*>(user_data);
    if (--state.seconds_left > 0) {
        show_countdown(state);
        return G_SOURCE_CONTINUE;
    }
    // Cleared here, the source is already on its way out.
    state.countdown_source = 0;
    clear_copied_password(state);
    return G_SOURCE_REMOVE;
}

void start_countdown(ClipboardState& state, int clear_seconds)
{
    stop_countdown(state);
    if (state.kind != CopyKind::Password || clear_seconds <= 0)
        return;
    state.seconds_left = clear_seconds;
    state.countdown_source = g_timeout_add(1000, on_countdown_tick, &state);
    state.status.begin_countdown();
    show_countdown(state);
}

void clear_owned(ClipboardState& state)
{
    // Each clear makes the toolkit call on_lost, which drops the flag and, at the last one, the text.
    for (int index = 0; index < 2; ++index)
        if (state.owned[index])
            gtk_clipboard_clear(selection_clipboard(index));
    stop_countdown(state);
    scrub(state.text);
    state.owned[0] = state.owned[1] = false;
}

} // namespace

ClipboardState::~ClipboardState()
{
    scrub(text);
}

void copy_to_clipboard(ClipboardState& state, std::string_view value, CopyKind kind, int clear_seconds)
{
    if (value.empty())
        return;
    GtkTargetList* list = gtk_target_list_new(nullptr, 0);
    gtk_target_list_add_text_targets(list, INFO_TEXT);
    if (kind == CopyKind::Password)
        gtk_target_list_add(list, gdk_atom_intern_static_string(PASSWORD_HINT_TARGET), 0, INFO_PASSWORD_HINT);
    gint n_targets = 0;
    GtkTargetEntry* targets = gtk_target_table_new_from_list(list, &n_targets);
    gtk_target_list_unref(list);

    // Taking a selection over makes the toolkit call on_lost for the copy it replaces: the old text
    // goes there, the new one is set only after both selections are ours.
    bool owned[2] = {false, false};
    for (int index = 0; index < 2; ++index)
        owned[index] = gtk_clipboard_set_with_data(selection_clipboard(index), targets, static_cast<guint>(n_targets),
                                                   on_get, on_lost, &state) != FALSE;
    gtk_target_table_free(targets, n_targets);

    scrub(state.text);
    state.text = display_text(value);
    state.kind = kind;
    state.owned[0] = owned[0];
    state.owned[1] = owned[1];
    start_countdown(state, clear_seconds);
}

void clear_copied_password(ClipboardState& state)
{
    if (state.kind != CopyKind::Password)
        return;
    const bool had_any = state.owned[0] || state.owned[1];
    clear_owned(state);
    if (had_any)
        state.status.say(_("Clipboard cleared."));
}

void release_clipboard(ClipboardState& state)
{
    clear_owned(state);
    // The requests to give the selections up must reach the X server before the connection closes.
    if (GdkDisplay* display = gdk_display_get_default())
        gdk_display_flush(display);
}

} // namespace sealkeep
