// The passphrase prompt: its layout, focus, the show toggle, Cancel, and a real load through gpg.
#include "gui/gui_support.h"

#include "core/record_reader.h"
#include "core/settings_values.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"
#include "ui/window/main_window.h"

#include <gtest/gtest.h>

namespace sealkeep {
namespace {

GtkWidget* child(GtkWidget* box, int index)
{
    return test::child_widgets(box).at(index);
}

struct Prompt {
    GtkWidget* panel = test::main_window().prompt.panel;
    GtkWidget* label = child(panel, 0);
    GtkWidget* entry = child(child(panel, 1), 0);
    GtkWidget* toggle = child(child(panel, 1), 1);
    GtkWidget* ok = child(child(panel, 2), 1);
    GtkWidget* cancel = child(child(panel, 2), 2);
};

class PassphrasePrompt : public ::testing::Test {
protected:
    void SetUp() override
    {
        clear_document(test::main_window());
        gtk_entry_set_text(GTK_ENTRY(p.entry), "");
        gtk_widget_hide(p.panel);
        gtk_widget_show(p.panel);
        test::drain_events();
    }
    void TearDown() override { clear_document(test::main_window()); }

    int top_rows() { return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(test::main_window().tree.model), nullptr); }

    Prompt p;
};

TEST_F(PassphrasePrompt, LayoutMatchesTheDesign)
{
    EXPECT_TRUE(GTK_IS_VBOX(p.panel));
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(p.panel)), 2);
    EXPECT_EQ(gtk_container_get_border_width(GTK_CONTAINER(p.panel)), 2u);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(p.label)), "Please enter your PGP Passphrase:");
    EXPECT_FALSE(gtk_entry_get_visibility(GTK_ENTRY(p.entry)));
    EXPECT_TRUE(GTK_IS_TOGGLE_BUTTON(p.toggle));
    EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(p.toggle)));
    EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(p.toggle)), nullptr);
    GtkWidget* spacer = child(child(p.panel, 2), 0);
    EXPECT_TRUE(GTK_IS_ALIGNMENT(spacer));
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(p.ok)), GTK_STOCK_OK);
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(p.cancel)), GTK_STOCK_CANCEL);
    gboolean expand, fill;
    guint padding;
    GtkPackType type;
    gtk_box_query_child_packing(GTK_BOX(p.panel), p.label, &expand, &fill, &padding, &type);
    EXPECT_EQ(padding, 2u);
    gtk_box_query_child_packing(GTK_BOX(child(p.panel, 1)), p.entry, &expand, &fill, &padding, &type);
    EXPECT_TRUE(expand && fill);
    gtk_box_query_child_packing(GTK_BOX(child(p.panel, 2)), spacer, &expand, &fill, &padding, &type);
    EXPECT_TRUE(expand && fill);
}

// Focusing an entry selects its text (and offers it as PRIMARY): the panel comes up empty, so nothing
// of a passphrase is ever selected, whatever the entry held before.
TEST_F(PassphrasePrompt, ShowingThePanelFocusesTheEmptyEntryWithNothingSelected)
{
    struct Case {
        const char* name;
        bool typed_while_shown;
    } cases[] = {{"typed while shown", true}, {"set while hidden", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gtk_widget_grab_focus(GTK_WIDGET(test::main_window().search.entry));
        if (c.typed_while_shown)
            gtk_entry_set_text(GTK_ENTRY(p.entry), "typed before");
        gtk_widget_hide(p.panel);
        if (!c.typed_while_shown)
            gtk_entry_set_text(GTK_ENTRY(p.entry), "typed before");
        gtk_widget_show(p.panel);
        test::drain_events();
        EXPECT_TRUE(gtk_widget_has_focus(p.entry));
        EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(p.entry)), "");
        EXPECT_FALSE(gtk_editable_get_selection_bounds(GTK_EDITABLE(p.entry), nullptr, nullptr));
    }
}

TEST_F(PassphrasePrompt, ToggleShowsAndMasksAndIsTurnedOffByHiding)
{
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(p.toggle), TRUE);
    EXPECT_TRUE(gtk_entry_get_visibility(GTK_ENTRY(p.entry)));
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(p.toggle), FALSE);
    EXPECT_FALSE(gtk_entry_get_visibility(GTK_ENTRY(p.entry)));
    // A shown passphrase is never left shown for the next time the prompt comes up.
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(p.toggle), TRUE);
    gtk_widget_hide(p.panel);
    EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(p.toggle)));
    EXPECT_FALSE(gtk_entry_get_visibility(GTK_ENTRY(p.entry)));
    gtk_widget_show(p.panel);
    EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(p.toggle)));
    EXPECT_FALSE(gtk_entry_get_visibility(GTK_ENTRY(p.entry)));
}

TEST_F(PassphrasePrompt, CancelHidesThePanelAndForgetsWhatWasTyped)
{
    test::load_fixture({test::record_line("A;;srv;ssh;;u;p")});
    gtk_entry_set_text(GTK_ENTRY(p.entry), "half typed");
    gtk_button_clicked(GTK_BUTTON(p.cancel));
    EXPECT_FALSE(gtk_widget_get_visible(p.panel));
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(p.entry)), "");
    // The tree is left as it was.
    EXPECT_EQ(top_rows(), 1);
    EXPECT_EQ(test::main_window().tree.database_loaded, 1);
    gtk_widget_show(p.panel);
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(p.entry)), "");
}

// Enter and OK are the same confirmation; each loads the real encrypted file through gpg.
TEST_F(PassphrasePrompt, ConfirmingLoadsTheFileThenHidesAndFocusesTheSearch)
{
    for (bool by_ok : {false, true}) {
        SCOPED_TRACE(by_ok ? "OK" : "Enter");
        test::GnupgHome home;
        test::main_window().settings.values.password_file_path =
            home.encrypt_symmetric("customer=A;group=;server=srv;service=ssh;serviceplus=;"
                                   "user=root;password=pw\n",
                                   "right one");
        gtk_widget_show(p.panel);
        gtk_entry_set_text(GTK_ENTRY(p.entry), "right one");
        if (by_ok)
            gtk_button_clicked(GTK_BUTTON(p.ok));
        else
            gtk_widget_activate(p.entry);
        // The passphrase left the entry the moment it was confirmed, not when the load ended.
        EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(p.entry)), "");
        ASSERT_TRUE(test::wait_for_load());
        EXPECT_EQ(test::main_window().tree.database_loaded, 1);
        EXPECT_EQ(test::row_text("0:0:0:0"), "root");
        EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(p.entry)), "");
        EXPECT_FALSE(gtk_widget_get_visible(p.panel));
        EXPECT_TRUE(gtk_widget_has_focus(GTK_WIDGET(test::main_window().search.entry)));
    }
}

TEST_F(PassphrasePrompt, AFailedLoadLeavesTheTreeEmptyAndAsksAgain)
{
    struct Case {
        const char* name;
        const char* typed;
    } cases[] = {{"wrong passphrase", "wrong"}, {"empty passphrase", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::GnupgHome home;
        test::main_window().settings.values.password_file_path =
            home.encrypt_symmetric("customer=A;group=;server=s;service=ssh;serviceplus=;"
                                   "user=u;password=p\n",
                                   "secret");
        test::load_fixture({test::record_line("Old;;srv;ssh;;u;p")});
        gtk_widget_show(p.panel);
        gtk_entry_set_text(GTK_ENTRY(p.entry), c.typed);
        gtk_widget_activate(p.entry);
        ASSERT_TRUE(test::wait_for_load());
        EXPECT_EQ(test::main_window().tree.database_loaded, 0);
        EXPECT_EQ(top_rows(), 0);
        // A passphrase gpg refused brings the prompt back, empty and ready for another try.
        EXPECT_TRUE(gtk_widget_get_visible(p.panel));
        EXPECT_TRUE(gtk_widget_has_focus(p.entry));
        EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(p.entry)), "");
    }
}

} // namespace
} // namespace sealkeep
