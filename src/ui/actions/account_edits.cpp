// The Edit menu's commands. The document never changes while it is shown: each edit builds a new one from
// the old one's lines (in the core), and the window shows it in place of the old one.
#include "ui/actions/account_edits.h"

#include "core/text_encoding.h"
#include "ui/dialogs/account_dialog.h"
#include "ui/dialogs/password_change_dialog.h"
#include "ui/glib_ptr.h"
#include "ui/i18n.h"
#include "ui/settings/window_settings.h"
#include "ui/status/status_row.h"
#include "ui/tree/account_model.h"
#include "ui/tree/edited_tree.h"
#include "ui/tree/entry_store.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <string>

namespace sealkeep {

namespace {

constexpr std::uint32_t NONE = Document::NONE;

// The record lines of the accounts the view shows under a row (the row's own, for a user row). A filter
// that hides some accounts keeps them out: what is not shown is not touched. Rows a filter still holds
// back from its view are in: they are shown a moment later.
void collect_lines(GtkTreeModel* model, std::uint32_t row, const Document& document, std::vector<std::uint32_t>& lines)
{
    if (is_user_row(document, row))
        lines.push_back(line_of_row(document, row));
    for (std::uint32_t n = 0, child; (child = account_model_shown_child(model, row, n)) != Document::NONE; ++n)
        collect_lines(model, child, document, lines);
}

std::vector<std::uint32_t> lines_under_selection(const AccountEditing& editing, const Document& document)
{
    std::vector<std::uint32_t> lines;
    for (std::uint32_t row : selected_tree_rows(editing.tree))
        collect_lines(editing.tree.model, row, document, lines);
    // A row and its ancestor may both be selected.
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

// The account the first selected row stands for: its own record (a user row, or a server row with root's
// shortcut); NONE for a row without one.
std::uint32_t selected_account_line(const AccountEditing& editing, const Document& document)
{
    const auto rows = selected_tree_rows(editing.tree);
    return rows.empty() ? NONE : line_of_row(document, rows.front());
}

// What a new account starts with: the values above and at the first selected row, so that Add on a
// server row makes another account on that server.
AccountText values_at_selection(const AccountEditing& editing, const Document& document)
{
    AccountText text;
    const auto rows = selected_tree_rows(editing.tree);
    if (rows.empty())
        return text;
    const std::uint32_t selected = rows.front();
    std::uint32_t leaf = selected;
    while (document.child_count(leaf) > 0)
        leaf = document.child(leaf, 0);
    const std::uint32_t line = line_of_row(document, leaf);
    if (line == NONE)
        return text;
    const auto record = parse_record_line(document.line_bytes(document.lines()[line]));
    if (!record)
        return text;
    AccountText shown = account_text_of(*record);
    // The levels the line's rows stand at, from the top: an empty group or service detail has no row.
    std::vector<AccountField> levels{FIELD_CUSTOMER};
    if (!record->group.empty())
        levels.push_back(FIELD_GROUP);
    levels.insert(levels.end(), {FIELD_SERVER, FIELD_SERVICE});
    if (!record->serviceplus.empty())
        levels.push_back(FIELD_SERVICEPLUS);
    const std::size_t depth = document.rows()[selected].depth;
    const AccountField deepest = depth < levels.size() ? levels[depth] : FIELD_SERVICEPLUS;
    for (std::size_t i = 0; i <= static_cast<std::size_t>(deepest); ++i)
        text.value[i] = shown.value[i];
    return text;
}

bool refuse_when_not_editable(const AccountEditing& editing)
{
    if (can_edit(editing))
        return false;
    // Deliberately quiet while a load runs: the status bar shows its progress.
    if (!editing.load_running())
        editing.status.say(_("Nothing is loaded to edit."));
    return true;
}

bool ask_delete(const AccountEditing& editing, std::size_t count)
{
    GtkWidget* dialog = gtk_message_dialog_new(
        editing.parent(), GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, P_("Delete %zu account?", "Delete %zu accounts?", count), count);
    gtk_dialog_add_buttons(GTK_DIALOG(dialog), GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_DELETE,
                           GTK_RESPONSE_OK, nullptr);
    // Enter keeps them: deleting takes a deliberate choice.
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&dialog));
    const bool yes = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK && dialog;
    if (dialog) {
        g_object_remove_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&dialog));
        gtk_widget_destroy(dialog);
    }
    return yes;
}

} // namespace

bool can_edit(const AccountEditing& editing)
{
    return editing.tree.view && shown_document(editing.tree) && !editing.load_running();
}

void add_account_command(const AccountEditing& editing)
{
    if (refuse_when_not_editable(editing))
        return;
    AccountText values = values_at_selection(editing, *shown_document(editing.tree));
    if (!run_account_dialog(editing.parent(), editing.settings, _("Add account"), values) || !can_edit(editing))
        return;
    editing.show_edited( add_account(*shown_document(editing.tree), values), true);
    editing.status.say(_("Account added."));
}

namespace {

// Edit and Duplicate: the dialog filled from the selected account.
void edit_or_duplicate(const AccountEditing& editing, bool duplicate)
{
    if (refuse_when_not_editable(editing))
        return;
    const Document* document = shown_document(editing.tree);
    const std::uint32_t line = selected_account_line(editing, *document);
    if (line == NONE) {
        editing.status.say(_("Select an account first."));
        return;
    }
    const auto record = parse_record_line(document->line_bytes(document->lines()[line]));
    if (!record)
        return;
    AccountText values = account_text_of(*record);
    if (!run_account_dialog(editing.parent(), editing.settings, duplicate ? _("Duplicate account") : _("Edit account"), values))
        return;
    // The dialog ran a main loop of its own: a lock or a load may have replaced the document meanwhile.
    if (!can_edit(editing) || shown_document(editing.tree) != document)
        return;
    if (duplicate) {
        editing.show_edited( add_account(*document, values, line), true);
        editing.status.say(_("Account duplicated."));
    } else {
        editing.show_edited( edit_account(*document, line, values), true);
        editing.status.say(_("Account changed."));
    }
}

} // namespace

void edit_account_command(const AccountEditing& editing)
{
    edit_or_duplicate(editing, false);
}

void duplicate_account_command(const AccountEditing& editing)
{
    edit_or_duplicate(editing, true);
}

void delete_accounts_command(const AccountEditing& editing)
{
    if (refuse_when_not_editable(editing))
        return;
    const Document* document = shown_document(editing.tree);
    const std::vector<std::uint32_t> lines = lines_under_selection(editing, *document);
    if (lines.empty()) {
        editing.status.say(_("Select an account first."));
        return;
    }
    if (lines.size() > 1 && (!ask_delete(editing, lines.size()) || !can_edit(editing) || shown_document(editing.tree) != document))
        return;
    editing.show_edited( delete_lines(*document, lines), false);
    gchar* text = g_strdup_printf(P_("%zu account deleted.", "%zu accounts deleted.", lines.size()), lines.size());
    editing.status.say(text);
    g_free(text);
}

void change_password_command(const AccountEditing& editing)
{
    if (refuse_when_not_editable(editing))
        return;
    const Document* document = shown_document(editing.tree);
    const std::vector<std::uint32_t> lines = lines_under_selection(editing, *document);
    if (lines.empty()) {
        editing.status.say(_("Select an account first."));
        return;
    }
    // The user of the first selected account is the likely one.
    std::string user;
    if (const auto record = parse_record_line(document->line_bytes(document->lines()[lines.front()])))
        user = display_text(record->user);
    std::string password;
    const auto count_for = [&](std::string_view name) { return lines_of_user(*document, lines, name).size(); };
    const bool ok = run_password_change_dialog(editing.parent(), editing.settings, user, password, count_for);
    if (ok && can_edit(editing) && shown_document(editing.tree) == document) {
        const std::vector<std::uint32_t> changing = lines_of_user(*document, lines, user);
        editing.show_edited( set_password(*document, changing, password), false);
        gchar* text = g_strdup_printf(
            P_("Password changed for %zu account.", "Password changed for %zu accounts.", changing.size()),
            changing.size());
        editing.status.say(text);
        g_free(text);
    }
    scrub(password);
}

namespace {

gboolean on_tree_button_press(GtkWidget* widget, GdkEventButton* event, AccountEditing* editing)
{
    if (event->type != GDK_2BUTTON_PRESS || event->button != 1)
        return FALSE;
    const Document* document = shown_document(editing->tree);
    GtkTreePath* raw = nullptr;
    if (!document || !gtk_tree_view_get_path_at_pos(GTK_TREE_VIEW(widget), static_cast<gint>(event->x),
                                                    static_cast<gint>(event->y), &raw, nullptr, nullptr, nullptr))
        return FALSE;
    TreePathPtr path{raw};
    GtkTreeIter iter;
    if (!gtk_tree_model_get_iter(editing->tree.model, &iter, path.get()) || !is_user_row(*document, account_model_row(&iter)))
        return FALSE; // other rows keep the toolkit's double-click: expand or collapse
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(widget), path.get(), nullptr, FALSE);
    edit_account_command(*editing);
    return TRUE;
}

bool is_plain_edit_key(const GdkEventKey* event)
{
    const guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
    // Insert stays Add everywhere: what an entry does with it (overwrite mode) is seldom wanted.
    return modifiers == 0 && (event->keyval == GDK_KEY_Delete || event->keyval == GDK_KEY_KP_Delete);
}

// The window's accelerators see every key before the focused widget does: without this, Delete in the
// search entry would delete accounts instead of a character.
gboolean on_window_key_press(GtkWidget* window, GdkEventKey* event, gpointer)
{
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
    if (!focus || !GTK_IS_EDITABLE(focus) || !is_plain_edit_key(event))
        return FALSE;
    return gtk_window_propagate_key_event(GTK_WINDOW(window), event);
}

} // namespace

void connect_edit_handlers(AccountEditing& editing)
{
    for (GtkTreeView* view : all_tree_views(editing.tree))
        g_signal_connect(view, "button-press-event", G_CALLBACK(on_tree_button_press), &editing);
    if (GtkWindow* window = editing.parent())
        g_signal_connect(window, "key-press-event", G_CALLBACK(on_window_key_press), nullptr);
}

} // namespace sealkeep
