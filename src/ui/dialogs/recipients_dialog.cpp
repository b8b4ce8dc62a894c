// The recipients dialog: two lists (the file's recipients, the keyring's other keys that can encrypt)
// rebuilt from one list of ids after each Add or Remove.
#include "ui/dialogs/recipients_dialog.h"

#include "ui/glib_ptr.h"
#include "ui/i18n.h"

#include <algorithm>

namespace sealkeep {

namespace {

enum { COLUMN_TEXT, COLUMN_ID, COLUMN_COUNT };

struct RecipientsDialog {
    GtkWidget* dialog = nullptr;
    GtkWidget* ok = nullptr;
    GtkWidget* add = nullptr;
    GtkWidget* remove = nullptr;
    GtkTreeView* chosen_view = nullptr;
    GtkTreeView* keyring_view = nullptr;
    GtkListStore* chosen_store = nullptr;  // owned by its view
    GtkListStore* keyring_store = nullptr; // owned by its view
    GtkLabel* message = nullptr;
    const KeyringListing* keyring = nullptr;
    std::vector<std::string> ids; // the recipients as they stand
};

std::string grouped(const std::string& hex)
{
    std::string result;
    for (std::size_t i = 0; i < hex.size(); ++i) {
        if (i > 0 && i % 4 == 0)
            result += ' ';
        result += hex[i];
    }
    return result;
}

const char* state_text(KeyState state)
{
    switch (state) {
    case KeyState::Usable:
        return "";
    case KeyState::Revoked:
        return _("This key is revoked.");
    case KeyState::Expired:
        return _("This key has expired.");
    case KeyState::Disabled:
        return _("This key is disabled.");
    case KeyState::Invalid:
        return _("This key is invalid.");
    case KeyState::CannotEncrypt:
        return _("This key cannot encrypt.");
    }
    return "";
}

std::string valid_text(const std::string& text)
{
    GCharPtr valid{g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()))};
    return valid.get();
}

std::string key_text(const PublicKey& key)
{
    std::string text = key.user_id.empty() ? std::string(_("(no user id)")) : valid_text(key.user_id);
    text.append("\n").append(grouped(key.fingerprint));
    if (key.state != KeyState::Usable)
        text.append("\n").append(state_text(key.state));
    return text;
}

std::string recipient_text(const KeyringListing& keyring, const std::string& id)
{
    if (const PublicKey* key = find_public_key(keyring.keys, id))
        return key_text(*key);
    if (id.find_first_not_of('0') == std::string::npos)
        return std::string(_("A hidden recipient")) + "\n" + _("The file does not say whose key this is.");
    GCharPtr first{g_strdup_printf(_("Key %s"), valid_text(id).c_str())};
    return std::string(first.get()) + "\n" + _("This key is not in your keyring.");
}

bool is_recipient(const RecipientsDialog& d, const PublicKey& key)
{
    return std::any_of(d.ids.begin(), d.ids.end(),
                       [&](const std::string& id) { return find_public_key(d.keyring->keys, id) == &key; });
}

void append_row(GtkListStore* store, const std::string& text, const std::string& id)
{
    GtkTreeIter iter;
    gtk_list_store_append(store, &iter);
    gtk_list_store_set(store, &iter, COLUMN_TEXT, text.c_str(), COLUMN_ID, id.c_str(), -1);
}

void select_id(GtkTreeView* view, const std::string& id)
{
    GtkTreeModel* model = gtk_tree_view_get_model(view);
    GtkTreeIter iter;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter)) {
        gchar* row_id = nullptr;
        gtk_tree_model_get(model, &iter, COLUMN_ID, &row_id, -1);
        GCharPtr owned{row_id};
        if (owned && id == owned.get()) {
            gtk_tree_selection_select_iter(gtk_tree_view_get_selection(view), &iter);
            return;
        }
    }
}

std::string selected_id(GtkTreeView* view)
{
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), &model, &iter))
        return {};
    gchar* id = nullptr;
    gtk_tree_model_get(model, &iter, COLUMN_ID, &id, -1);
    GCharPtr owned{id};
    return owned ? owned.get() : "";
}

void update_buttons(RecipientsDialog& d)
{
    gtk_widget_set_sensitive(d.add, !selected_id(d.keyring_view).empty());
    gtk_widget_set_sensitive(d.remove, !selected_id(d.chosen_view).empty());
    gtk_widget_set_sensitive(d.ok, !d.ids.empty());
}

void fill(RecipientsDialog& d)
{
    gtk_list_store_clear(d.chosen_store);
    gtk_list_store_clear(d.keyring_store);
    for (const std::string& id : d.ids)
        append_row(d.chosen_store, recipient_text(*d.keyring, id), id);
    for (const PublicKey& key : d.keyring->keys)
        if (key.state == KeyState::Usable && !is_recipient(d, key))
            append_row(d.keyring_store, key_text(key), key.fingerprint);

    std::string message;
    if (d.ids.empty())
        message = _("At least one recipient is needed.");
    if (!d.keyring->error.empty()) {
        GCharPtr text{g_strdup_printf(_("Your keyring could not be listed: %s"), valid_text(d.keyring->error).c_str())};
        message.append(message.empty() ? "" : "\n").append(text.get());
    }
    gtk_label_set_text(d.message, message.c_str());
    update_buttons(d);
}

void add_selected(RecipientsDialog& d)
{
    const std::string id = selected_id(d.keyring_view);
    if (id.empty())
        return;
    d.ids.push_back(id);
    fill(d);
    select_id(d.chosen_view, id);
}

void remove_selected(RecipientsDialog& d)
{
    const std::string id = selected_id(d.chosen_view);
    if (id.empty())
        return;
    std::erase(d.ids, id);
    fill(d);
}

void on_add_clicked(GtkButton*, RecipientsDialog* d)
{
    add_selected(*d);
}

void on_remove_clicked(GtkButton*, RecipientsDialog* d)
{
    remove_selected(*d);
}

void on_keyring_row_activated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, RecipientsDialog* d)
{
    add_selected(*d);
}

void on_chosen_row_activated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, RecipientsDialog* d)
{
    remove_selected(*d);
}

void on_selection_changed(GtkTreeSelection*, RecipientsDialog* d)
{
    update_buttons(*d);
}

// A labelled list with its button below; the view takes the store.
GtkTreeView* add_list(RecipientsDialog& d, GtkWidget* box, const char* label_text, GtkListStore*& store,
                      GtkWidget* button, const char* name)
{
    store = gtk_list_store_new(COLUMN_COUNT, G_TYPE_STRING, G_TYPE_STRING);
    GtkTreeView* view = GTK_TREE_VIEW(gtk_tree_view_new_with_model(GTK_TREE_MODEL(store)));
    g_object_unref(store);
    gtk_widget_set_name(GTK_WIDGET(view), name);
    gtk_tree_view_set_headers_visible(view, FALSE);
    gtk_tree_view_insert_column_with_attributes(view, -1, "", gtk_cell_renderer_text_new(), "text", COLUMN_TEXT,
                                                nullptr);
    g_signal_connect(gtk_tree_view_get_selection(view), "changed", G_CALLBACK(on_selection_changed), &d);

    GtkWidget* label = gtk_label_new_with_mnemonic(label_text);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), GTK_WIDGET(view));
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
    gtk_widget_set_size_request(scrolled, 460, 130);
    gtk_container_add(GTK_CONTAINER(scrolled), GTK_WIDGET(view));
    GtkWidget* buttons = gtk_hbutton_box_new();
    gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
    gtk_container_add(GTK_CONTAINER(buttons), button);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), scrolled, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);
    return view;
}

} // namespace

bool choose_recipients(GtkWindow* parent, const std::vector<std::string>& current, const KeyringListing& keyring,
                       std::vector<std::string>& chosen)
{
    RecipientsDialog d;
    d.keyring = &keyring;
    d.ids = current;
    d.dialog = gtk_dialog_new_with_buttons(_("Change recipients"), parent,
                                           GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                           GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, nullptr);
    d.ok = gtk_dialog_add_button(GTK_DIALOG(d.dialog), GTK_STOCK_OK, GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(d.dialog), GTK_RESPONSE_OK);

    GtkWidget* box = gtk_vbox_new(FALSE, 4);
    gtk_container_set_border_width(GTK_CONTAINER(box), 8);
    GtkWidget* intro = gtk_label_new(_("The file is saved encrypted to these keys: each of them can open it."));
    gtk_misc_set_alignment(GTK_MISC(intro), 0, 0.5);
    gtk_label_set_line_wrap(GTK_LABEL(intro), TRUE);
    gtk_box_pack_start(GTK_BOX(box), intro, FALSE, FALSE, 0);
    d.remove = gtk_button_new_from_stock(GTK_STOCK_REMOVE);
    d.add = gtk_button_new_from_stock(GTK_STOCK_ADD);
    gtk_widget_set_name(d.remove, "remove");
    gtk_widget_set_name(d.add, "add");
    d.chosen_view = add_list(d, box, _("_Encrypted to:"), d.chosen_store, d.remove, "recipients");
    d.keyring_view = add_list(d, box, _("_Keys in your keyring:"), d.keyring_store, d.add, "keyring");
    d.message = GTK_LABEL(gtk_label_new(""));
    gtk_misc_set_alignment(GTK_MISC(d.message), 0, 0.5);
    gtk_label_set_line_wrap(d.message, TRUE);
    gtk_box_pack_start(GTK_BOX(box), GTK_WIDGET(d.message), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(d.dialog))), box, TRUE, TRUE, 0);

    g_signal_connect(d.add, "clicked", G_CALLBACK(on_add_clicked), &d);
    g_signal_connect(d.remove, "clicked", G_CALLBACK(on_remove_clicked), &d);
    g_signal_connect(d.keyring_view, "row-activated", G_CALLBACK(on_keyring_row_activated), &d);
    g_signal_connect(d.chosen_view, "row-activated", G_CALLBACK(on_chosen_row_activated), &d);
    fill(d);
    gtk_widget_show_all(d.dialog);

    bool accepted = false;
    // OK is insensitive without a recipient; Enter in a list still answers OK, so the rule is kept here too.
    while (gtk_dialog_run(GTK_DIALOG(d.dialog)) == GTK_RESPONSE_OK) {
        if (!d.ids.empty()) {
            accepted = true;
            break;
        }
    }
    gtk_widget_destroy(d.dialog);
    if (accepted)
        chosen = d.ids;
    return accepted;
}

} // namespace sealkeep
