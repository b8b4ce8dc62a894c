// The Edit commands in the real window: the account dialog's refusals beside each field, a Latin-1 account
// written back through the dialog byte for byte, values far beyond the toolkit's 64 KiB entry buffer kept
// whole, the tree keeping its expanded and selected rows across edits, and the time an edit takes at a
// hundred thousand accounts.
#include "core/document_edit.h"
#include "gui/gui_support.h"
#include "ui/actions/account_edits.h"
#include "ui/dialogs/password_field.h"
#include "ui/glib_ptr.h"
#include "ui/settings/settings_store.h"
#include "ui/tree/account_model.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"
#include "ui/window/main_window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace sealkeep {
namespace {

GtkTreeView* tree_view()
{
    return test::main_window().tree.view;
}

void select_only(const char* path)
{
    TreePathPtr p{gtk_tree_path_new_from_string(path)};
    gtk_tree_view_expand_to_path(tree_view(), p.get());
    gtk_tree_view_set_cursor(tree_view(), p.get(), nullptr, FALSE);
}

std::vector<std::string> selected_paths()
{
    std::vector<std::string> paths;
    PathListPtr rows{gtk_tree_selection_get_selected_rows(gtk_tree_view_get_selection(tree_view()), nullptr)};
    for (GList* row = rows.get(); row; row = row->next)
        paths.push_back(test::path_string(static_cast<GtkTreePath*>(row->data)));
    return paths;
}

void collect(GtkWidget* widget, std::vector<GtkWidget*>& all)
{
    all.push_back(widget);
    if (GTK_IS_CONTAINER(widget))
        for (GtkWidget* child : test::child_widgets(widget))
            collect(child, all);
}

// The entry that the label with this mnemonic text names, and the message label on its table row.
struct Field {
    GtkEntry* entry = nullptr;
    GtkLabel* message = nullptr;
};

Field field(GtkWidget* dialog, const char* label_text)
{
    std::vector<GtkWidget*> all;
    collect(dialog, all);
    Field found;
    GtkWidget* table = nullptr;
    guint row = 0;
    for (GtkWidget* widget : all) {
        if (!GTK_IS_LABEL(widget) || std::strcmp(gtk_label_get_label(GTK_LABEL(widget)), label_text) != 0)
            continue;
        found.entry = GTK_ENTRY(gtk_label_get_mnemonic_widget(GTK_LABEL(widget)));
        table = gtk_widget_get_parent(widget);
        gtk_container_child_get(GTK_CONTAINER(table), widget, "top-attach", &row, nullptr);
    }
    if (!table)
        return found;
    for (GtkWidget* child : test::child_widgets(table)) {
        guint top = 0;
        guint left = 0;
        gtk_container_child_get(GTK_CONTAINER(table), child, "top-attach", &top, "left-attach", &left, nullptr);
        if (top == row && left == 2 && GTK_IS_LABEL(child))
            found.message = GTK_LABEL(child);
    }
    return found;
}

GtkWidget* ok_button(GtkWidget* dialog)
{
    return gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
}

constexpr const char* KEYS[FIELD_COUNT] = {"customer", "group", "server", "service", "serviceplus", "user", "password"};
constexpr const char* LABELS[FIELD_COUNT] = {"Custo_mer",       "_Group", "_Server",  "Ser_vice",
                                             "Service _detail", "_User",  "_Password"};

std::string line_of(const std::array<std::string, FIELD_COUNT>& values)
{
    std::string line;
    for (std::size_t i = 0; i < FIELD_COUNT; ++i)
        line += std::string(i ? ";" : "") + KEYS[i] + "=" + values[i];
    return line;
}

// Text of one to four bytes a character (no semicolon, no blank), `chars` characters long, or at least
// `bytes` bytes long: GTK's own entry buffer would stop at 65,535 bytes.
std::string long_value(std::size_t chars, std::size_t bytes = 0)
{
    static const char* const pieces[] = {"a", "\xc3\xa9", "7", "\xe2\x82\xac", "Z", "\xf0\x9d\x84\x9e", "-"};
    std::string value;
    for (std::size_t n = 0; n < chars || value.size() < bytes; ++n)
        value += pieces[n % std::size(pieces)];
    return value;
}

// OK when the dialog takes it, else Cancel: a refused value must fail the test, not leave the dialog
// waiting for an answer that never comes.
void answer_ok_or_cancel(GtkWidget* dialog)
{
    const bool ok = gtk_widget_get_sensitive(ok_button(dialog));
    EXPECT_TRUE(ok) << "OK refused";
    gtk_dialog_response(GTK_DIALOG(dialog), ok ? GTK_RESPONSE_OK : GTK_RESPONSE_CANCEL);
}

class AccountEdits : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::load_fixture({
            "customer=A;group=;server=s1;service=ssh;serviceplus=;user=u1;password=p1",
            "customer=A;group=;server=s1;service=ssh;serviceplus=;user=u2;password=p2",
            "customer=B;group=G;server=s2;service=ftp;serviceplus=21;user=u3;password=p3",
            "customer=C;group=;server=s3;service=ssh;serviceplus=;user=u4;password=p4",
            "customer=C;group=;server=s4;service=ssh;serviceplus=;user=u5;password=p5",
        }));
    }
};

// Each refused value shows its message beside its own field and keeps OK from being given; the message
// goes once the value is fixed.
TEST_F(AccountEdits, RefusedValuesAreShownBesideTheirField)
{
    select_only("0:0:0:0");
    struct Case {
        const char* label;
        const char* typed;
        const char* message;
    };
    static const Case cases[] = {
        {"Custo_mer", "a;b", "No semicolon here: it separates the values in the file."},
        {"Ser_vice", "ss;h", "No semicolon here: it separates the values in the file."},
        {"_User", "u\nx", "No line break: each account is one line of the file."},
        {"_Password", "pa\rss", "No line break: each account is one line of the file."},
        {"_Password", "pa ;ss", "No blank before a semicolon: the file would lose it."},
    };
    struct Seen {
        std::vector<std::string> messages;
        std::vector<bool> ok_sensitive;
        std::vector<std::string> after_fix;
    } seen;
    test::respond_in_nested_loop(
        [](GtkWidget* dialog, void* data) {
            auto* seen = static_cast<Seen*>(data);
            for (const Case& c : cases) {
                Field f = field(dialog, c.label);
                ASSERT_NE(f.entry, nullptr) << c.label;
                ASSERT_NE(f.message, nullptr) << c.label;
                const std::string before = gtk_entry_get_text(f.entry);
                gtk_entry_set_text(f.entry, c.typed);
                seen->messages.push_back(gtk_label_get_text(f.message));
                seen->ok_sensitive.push_back(gtk_widget_get_sensitive(ok_button(dialog)));
                gtk_entry_set_text(f.entry, before.c_str());
                seen->after_fix.push_back(gtk_label_get_text(f.message));
            }
            // Enter on a refused value: the dialog stays; then Cancel.
            Field user = field(dialog, "_User");
            gtk_entry_set_text(user.entry, "x;y");
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
            test::respond_in_nested_loop(
                [](GtkWidget* again, void*) { gtk_dialog_response(GTK_DIALOG(again), GTK_RESPONSE_CANCEL); }, nullptr);
        },
        &seen);
    const std::string before(test::document()->plaintext());
    edit_account_command(test::main_window().editing);
    ASSERT_EQ(seen.messages.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(seen.messages[i], cases[i].message) << cases[i].label << " " << cases[i].typed;
        EXPECT_FALSE(seen.ok_sensitive[i]) << cases[i].label;
        EXPECT_EQ(seen.after_fix[i], "") << cases[i].label;
    }
    EXPECT_EQ(test::document()->plaintext(), before) << "nothing was written";
    EXPECT_FALSE(test::main_window().file.unsaved_edits);
}

// Add with nothing selected opens on empty fields: OK waits for a value (blanks are none), so that an
// Enter pressed at once adds no account of nothing.
TEST_F(AccountEdits, AnAccountOfNothingIsNotAdded)
{
    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(tree_view()));
    struct Seen {
        bool ok_when_empty = true;
        bool ok_with_blanks = true;
        bool ok_with_customer = false;
    } seen;
    test::respond_in_nested_loop(
        [](GtkWidget* dialog, void* data) {
            auto* seen = static_cast<Seen*>(data);
            seen->ok_when_empty = gtk_widget_get_sensitive(ok_button(dialog));
            gtk_entry_set_text(field(dialog, "_User").entry, "   ");
            seen->ok_with_blanks = gtk_widget_get_sensitive(ok_button(dialog));
            // Enter: the dialog stays.
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
            test::respond_in_nested_loop(
                [](GtkWidget* again, void* data) {
                    auto* seen = static_cast<Seen*>(data);
                    gtk_entry_set_text(field(again, "Custo_mer").entry, "Solo");
                    seen->ok_with_customer = gtk_widget_get_sensitive(ok_button(again));
                    gtk_dialog_response(GTK_DIALOG(again), GTK_RESPONSE_OK);
                },
                data);
        },
        &seen);
    const std::size_t lines_before = test::document()->lines().size();
    add_account_command(test::main_window().editing);
    EXPECT_FALSE(seen.ok_when_empty);
    EXPECT_FALSE(seen.ok_with_blanks);
    EXPECT_TRUE(seen.ok_with_customer);
    ASSERT_EQ(test::document()->lines().size(), lines_before + 1) << "one account added, once a value was typed";
    EXPECT_NE(test::document()->plaintext().find("customer=Solo;"), std::string_view::npos);
}

// An account of a Latin-1 line, edited through the dialog: its values are shown converted, and written
// back in Latin-1 where they fit; the other lines keep their bytes.
TEST_F(AccountEdits, LatinOneAccountWrittenBackInItsOwnEncoding)
{
    ASSERT_TRUE(test::load_fixture({
        "customer=Caf\xe9;group=;server=s;service=ssh;serviceplus=;user=anna;password=p\xe4ss",
        "note \xff not a record",
    }));
    test::main_window().file.unsaved_edits = false;
    select_only("0:0:0:0");
    struct Seen {
        std::string customer;
        std::string password;
    } seen;
    test::respond_in_nested_loop(
        [](GtkWidget* dialog, void* data) {
            auto* seen = static_cast<Seen*>(data);
            seen->customer = gtk_entry_get_text(field(dialog, "Custo_mer").entry);
            seen->password = gtk_entry_get_text(field(dialog, "_Password").entry);
            gtk_entry_set_text(field(dialog, "_User").entry, "j\xc3\xbcrgen");
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
        },
        &seen);
    edit_account_command(test::main_window().editing);
    EXPECT_EQ(seen.customer, "Caf\xc3\xa9");
    EXPECT_EQ(seen.password, "p\xc3\xa4ss");
    EXPECT_EQ(test::document()->plaintext(),
              "customer=Caf\xe9;group=;server=s;service=ssh;serviceplus=;user=j\xfcrgen;password=p\xe4ss\n"
              "note \xff not a record\n");
    EXPECT_TRUE(test::main_window().file.unsaved_edits);
    EXPECT_EQ(test::row_text("0:0:0:0"), "j\xc3\xbcrgen");
    EXPECT_EQ(selected_paths(), std::vector<std::string>{"0:0:0:0"});
}

// Each value held far more than 64 KiB: an edit of another value writes it back byte for byte. (The
// toolkit's own entry buffer cut every value to its first 65,534 bytes without a word.)
TEST_F(AccountEdits, LongValuesSurviveAnUnrelatedEdit)
{
    const std::array<std::string, FIELD_COUNT> shorts{"C", "G", "S", "ssh", "22", "U", "P"};
    const std::string long_text = long_value(100000);
    ASSERT_EQ(g_utf8_strlen(long_text.c_str(), -1), 100000);
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        SCOPED_TRACE(KEYS[i]);
        std::array<std::string, FIELD_COUNT> values = shorts;
        values[i] = long_text;
        ASSERT_TRUE(test::load_fixture({line_of(values)}));
        // Every value given: customer, group, server, service, detail, user.
        select_only("0:0:0:0:0:0");
        struct Seen {
            std::size_t field;
            std::size_t edited;
            std::string shown;
        } seen{i, i == FIELD_USER ? std::size_t{FIELD_CUSTOMER} : std::size_t{FIELD_USER}, {}};
        test::respond_in_nested_loop(
            [](GtkWidget* dialog, void* data) {
                auto* seen = static_cast<Seen*>(data);
                seen->shown = gtk_entry_get_text(field(dialog, LABELS[seen->field]).entry);
                gtk_entry_set_text(field(dialog, LABELS[seen->edited]).entry, "edited");
                answer_ok_or_cancel(dialog);
            },
            &seen);
        edit_account_command(test::main_window().editing);
        EXPECT_TRUE(seen.shown == long_text)
            << "the dialog showed " << seen.shown.size() << " of " << long_text.size() << " bytes";
        values[seen.edited] = "edited";
        const std::string written(test::document()->plaintext());
        EXPECT_TRUE(written == line_of(values) + "\n") << written.size() << " bytes written";
    }
}

// A megabyte pasted into a field is saved whole, in each of the seven.
TEST_F(AccountEdits, AMegabytePastedIsKeptWhole)
{
    const std::array<std::string, FIELD_COUNT> shorts{"C", "G", "S", "ssh", "22", "U", "P"};
    const std::string pasted = long_value(0, 1 << 20);
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        SCOPED_TRACE(KEYS[i]);
        ASSERT_TRUE(test::load_fixture({line_of(shorts)}));
        select_only("0:0:0:0:0:0");
        gtk_clipboard_set_text(clipboard, pasted.c_str(), static_cast<gint>(pasted.size()));
        struct Seen {
            std::size_t field;
            std::size_t length = 0;
        } seen{i};
        test::respond_in_nested_loop(
            [](GtkWidget* dialog, void* data) {
                auto* seen = static_cast<Seen*>(data);
                GtkEntry* entry = field(dialog, LABELS[seen->field]).entry;
                gtk_editable_delete_text(GTK_EDITABLE(entry), 0, -1);
                g_signal_emit_by_name(entry, "paste-clipboard");
                test::drain_events();
                seen->length = std::strlen(gtk_entry_get_text(entry));
                answer_ok_or_cancel(dialog);
            },
            &seen);
        edit_account_command(test::main_window().editing);
        EXPECT_EQ(seen.length, pasted.size());
        std::array<std::string, FIELD_COUNT> values = shorts;
        values[i] = pasted;
        const std::string written(test::document()->plaintext());
        EXPECT_TRUE(written == line_of(values) + "\n") << written.size() << " bytes written";
    }
    gtk_clipboard_clear(clipboard);
}

// Change password with a user name and a password far beyond 64 KiB: the dialog finds the user's accounts
// by the whole name, and every one of them gets the whole password.
TEST_F(AccountEdits, ChangePasswordTakesLongUserAndPassword)
{
    const std::string user = long_value(100000);
    const std::string password = long_value(0, 1 << 20);
    ASSERT_TRUE(test::load_fixture({
        line_of({"C", "G", "S", "ssh", "22", user, "old1"}),
        line_of({"C", "G", "S", "ssh", "22", "other", "old2"}),
        line_of({"C", "G", "T", "ssh", "22", user, "old3"}),
    }));
    TreePathPtr customer{gtk_tree_path_new_from_string("0")};
    gtk_tree_view_set_cursor(tree_view(), customer.get(), nullptr, FALSE);
    struct Seen {
        const std::string* password;
        std::string user;
        std::string count;
    } seen{&password, {}, {}};
    test::respond_in_nested_loop(
        [](GtkWidget* dialog, void* data) {
            auto* seen = static_cast<Seen*>(data);
            seen->user = gtk_entry_get_text(field(dialog, "_User").entry);
            gtk_entry_set_text(field(dialog, "_Password").entry, seen->password->c_str());
            std::vector<GtkWidget*> all;
            collect(dialog, all);
            for (GtkWidget* widget : all)
                if (GTK_IS_LABEL(widget) && std::strstr(gtk_label_get_text(GTK_LABEL(widget)), "will change"))
                    seen->count = gtk_label_get_text(GTK_LABEL(widget));
            answer_ok_or_cancel(dialog);
        },
        &seen);
    change_password_command(test::main_window().editing);
    EXPECT_TRUE(seen.user == user) << "the dialog showed " << seen.user.size() << " of " << user.size() << " bytes";
    EXPECT_EQ(seen.count, "2 accounts will change.");
    const std::string expected = line_of({"C", "G", "S", "ssh", "22", user, password}) + "\n" +
                                 line_of({"C", "G", "S", "ssh", "22", "other", "old2"}) + "\n" +
                                 line_of({"C", "G", "T", "ssh", "22", user, password}) + "\n";
    const std::string written(test::document()->plaintext());
    EXPECT_TRUE(written == expected) << written.size() << " bytes written, " << expected.size() << " expected";
}

// Rows expanded and selected before an edit are expanded and selected after it, at their new places.
TEST_F(AccountEdits, TreeKeepsExpandedAndSelectedRows)
{
    TreePathPtr b{gtk_tree_path_new_from_string("1:0:0:0:0")};
    gtk_tree_view_expand_to_path(tree_view(), b.get()); // B, G, s2, ftp, 21 expanded
    select_only("2:1:0:0");                             // C / s4 / ssh / u5 (C and s4 expanded)
    const std::vector<std::string> expanded_before = test::expanded_paths();
    ASSERT_EQ(expanded_before,
              (std::vector<std::string>{"1", "1:0", "1:0:0", "1:0:0:0", "1:0:0:0:0", "2", "2:1", "2:1:0"}));

    // Delete the first account of C: C's rows move up by one server.
    const Document& document = *test::document();
    show_edited_document(test::main_window(), delete_lines(document, {3}), false);
    test::drain_events();
    EXPECT_EQ(test::expanded_paths(),
              (std::vector<std::string>{"1", "1:0", "1:0:0", "1:0:0:0", "1:0:0:0:0", "2", "2:0", "2:0:0"}));
    EXPECT_EQ(selected_paths(), std::vector<std::string>{"2:0:0:0"});
    EXPECT_EQ(test::row_text("2:0:0:0"), "u5");

    // Add to A's branch: the new row is selected and revealed, the rest stays as it was.
    AccountText values;
    values.value = {"A", "", "s1", "ssh", "", "new", "pw"};
    show_edited_document(test::main_window(), add_account(*test::document(), values), true);
    test::drain_events();
    EXPECT_EQ(selected_paths(), std::vector<std::string>{"0:0:0:2"});
    EXPECT_EQ(test::row_text("0:0:0:2"), "new");
    EXPECT_EQ(test::expanded_paths(), (std::vector<std::string>{"0", "0:0", "0:0:0", "1", "1:0", "1:0:0", "1:0:0:0",
                                                                "1:0:0:0:0", "2", "2:0", "2:0:0"}));
}

// A selected row the user left collapsed (a customer for Change password, a server whose sibling goes)
// is selected again after the edit and stays collapsed: the edit must not open what the user did not.
TEST_F(AccountEdits, ACollapsedSelectedRowStaysCollapsed)
{
    const auto select_shown = [](const char* path) {
        TreePathPtr p{gtk_tree_path_new_from_string(path)};
        gtk_tree_view_set_cursor(tree_view(), p.get(), nullptr, FALSE);
    };
    select_shown("1"); // customer B, never opened
    ASSERT_EQ(test::expanded_paths(), std::vector<std::string>{});
    show_edited_document(test::main_window(), set_password(*test::document(), {2}, "new"), false);
    test::drain_events();
    EXPECT_EQ(test::expanded_paths(), std::vector<std::string>{});
    EXPECT_EQ(selected_paths(), std::vector<std::string>{"1"});

    TreePathPtr c{gtk_tree_path_new_from_string("2")};
    TreePathPtr b{gtk_tree_path_new_from_string("1")};
    gtk_tree_view_expand_row(tree_view(), b.get(), FALSE);
    gtk_tree_view_expand_row(tree_view(), c.get(), FALSE); // B and C open, C's servers s3 and s4 closed
    select_shown("2:1");
    ASSERT_EQ(test::expanded_paths(), (std::vector<std::string>{"1", "2"}));
    show_edited_document(test::main_window(), delete_lines(*test::document(), {3}), false);
    test::drain_events();
    EXPECT_EQ(test::expanded_paths(), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(selected_paths(), std::vector<std::string>{"2:0"});
    EXPECT_EQ(test::row_text("2:0"), "s4");
}

// A Delete takes the selected rows with it: the cursor goes to the row the user would look at next, so
// that the keyboard carries on from there.
TEST_F(AccountEdits, AfterADeleteTheCursorGoesToANeighbour)
{
    struct Case {
        const char* name;
        std::vector<const char*> selected;
        std::vector<std::uint32_t> lines;
        const char* cursor; // "" for none
        const char* text;
    } cases[] = {
        {"the next sibling", {"0:0:0:0"}, {0}, "0:0:0:0", "u2"},
        {"the previous sibling of the last child", {"0:0:0:1"}, {1}, "0:0:0:0", "u1"},
        {"a whole customer: the next one", {"1:0:0:0:0:0"}, {2}, "1", "C"},
        {"the last customer: the one before", {"2"}, {3, 4}, "1", "B"},
        {"a server: its sibling", {"2:0"}, {3}, "2:0", "s4"},
        {"a server's only account: the nearest ancestor left", {"2:0:0:0"}, {3}, "2", "C"},
        {"both users of a customer: the next customer", {"0:0:0:0", "0:0:0:1"}, {0, 1}, "0", "B"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        GtkTreeSelection* selection = gtk_tree_view_get_selection(tree_view());
        for (const char* path : c.selected) {
            TreePathPtr p{gtk_tree_path_new_from_string(path)};
            gtk_tree_view_expand_to_path(tree_view(), p.get());
            gtk_tree_selection_select_path(selection, p.get());
        }
        show_edited_document(test::main_window(), delete_lines(*test::document(), c.lines), false);
        test::drain_events();
        GtkTreePath* raw = nullptr;
        gtk_tree_view_get_cursor(tree_view(), &raw, nullptr);
        TreePathPtr cursor{raw};
        ASSERT_TRUE(cursor);
        EXPECT_EQ(test::path_string(cursor.get()), c.cursor);
        EXPECT_EQ(selected_paths(), std::vector<std::string>{c.cursor});
        EXPECT_EQ(test::row_text(c.cursor), c.text);
    }
}

// Generate with every character class unticked has nothing to draw from: the popup's Generate waits for
// a class, and what is stored and drawn is what the popup shows ticked.
TEST_F(AccountEdits, GenerateWaitsForACharacterClass)
{
    MainWindow& main = test::main_window();
    const PasswordRecipe before = main.settings.values.password_recipe;
    PasswordField* field = create_password_field(main.settings, GTK_WINDOW(main.window));
    RefPtr<GtkWidget> row = take_ref(GTK_WIDGET(g_object_ref_sink(field->row)));
    RefPtr<GtkWidget> strength = take_ref(GTK_WIDGET(g_object_ref_sink(field->strength)));

    struct Seen {
        bool sensitive_with_none = true;
        bool still_open_after_ok = false;
        bool sensitive_with_digits = false;
    } seen;
    static const auto checks = [](GtkWidget* popup) {
        std::vector<GtkWidget*> all;
        std::vector<GtkToggleButton*> found;
        collect(popup, all);
        for (GtkWidget* widget : all)
            if (GTK_IS_CHECK_BUTTON(widget))
                found.push_back(GTK_TOGGLE_BUTTON(widget));
        return found; // letters, digits, punctuation
    };
    test::respond_in_nested_loop(
        [](GtkWidget* popup, void* data) {
            auto* seen = static_cast<Seen*>(data);
            for (GtkToggleButton* check : checks(popup))
                gtk_toggle_button_set_active(check, FALSE);
            seen->sensitive_with_none = gtk_widget_is_sensitive(ok_button(popup));
            // Then the digits, on the next round: an OK given now must not have closed the popup.
            test::respond_in_nested_loop(
                [](GtkWidget* popup, void* data) {
                    auto* seen = static_cast<Seen*>(data);
                    seen->still_open_after_ok = true;
                    gtk_toggle_button_set_active(checks(popup).at(1), TRUE);
                    seen->sensitive_with_digits = gtk_widget_is_sensitive(ok_button(popup));
                    gtk_dialog_response(GTK_DIALOG(popup), GTK_RESPONSE_OK);
                },
                seen);
            gtk_dialog_response(GTK_DIALOG(popup), GTK_RESPONSE_OK);
        },
        &seen);
    EXPECT_TRUE(generate_into_field(*field));
    EXPECT_FALSE(seen.sensitive_with_none);
    EXPECT_TRUE(seen.still_open_after_ok);
    EXPECT_TRUE(seen.sensitive_with_digits);
    const std::string password = gtk_entry_get_text(field->entry);
    EXPECT_EQ(password.find_first_not_of("0123456789"), std::string::npos) << password;
    EXPECT_FALSE(main.settings.values.password_recipe.letters);
    EXPECT_TRUE(main.settings.values.password_recipe.digits);
    EXPECT_FALSE(main.settings.values.password_recipe.punctuation);

    gtk_widget_destroy(row.get());
    gtk_widget_destroy(strength.get());
    main.settings.values.password_recipe = before;
    save_password_recipe(main.settings.object.get(), before);
}

TEST_F(AccountEdits, NothingToEditWithoutADocumentOrDuringALoad)
{
    EXPECT_TRUE(can_edit(test::main_window().editing));
    test::load_fixture({});
    EXPECT_TRUE(can_edit(test::main_window().editing)) << "a verified file without accounts can get its first";
    // A lock or a Refresh leaves no document: nothing to edit, and the command says so.
    clear_document(test::main_window());
    EXPECT_FALSE(can_edit(test::main_window().editing));
    delete_accounts_command(test::main_window().editing);
    EXPECT_EQ(test::status_text(), "Nothing is loaded to edit.");
}

// An edit at a hundred thousand accounts, the whole tree expanded, from the new document to the tree
// shown again as it was.
TEST_F(AccountEdits, HundredThousandAccounts)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 100000; ++i)
        lines.push_back("customer=c" + std::to_string(i / 1000) + ";group=g" + std::to_string(i / 100) + ";server=h" +
                        std::to_string(i / 10) + ";service=ssh;serviceplus=;user=u" + std::to_string(i) +
                        ";password=Secret-password-1");
    ASSERT_TRUE(test::load_fixture(lines));
    gtk_tree_view_expand_all(tree_view());
    select_only("50:0:0:0:0");
    test::drain_events();
    AccountText values;
    values.value = {"c50", "g500", "h5000", "ssh", "", "new", "pw"};
    const auto start = std::chrono::steady_clock::now();
    show_edited_document(test::main_window(), add_account(*test::document(), values), true);
    test::drain_events();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("edit shown at 100000 accounts, all expanded: %.3f s\n", took);
    EXPECT_EQ(test::document()->accounts(), 100001u);
    EXPECT_EQ(selected_paths(), std::vector<std::string>{"50:0:0:0:10"});
    EXPECT_LT(took, 3.0) << "a debug build; an optimised one takes a fraction of this";
}

} // namespace
} // namespace sealkeep
