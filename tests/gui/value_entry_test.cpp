// The entry that holds account values, driven as a person would: text far beyond GTK's 65,535-byte entry
// buffer, of one to four bytes a character, is set, edited with keys at both ends, replaced, pasted and
// read back whole, shown and masked alike.
#include "gui/gui_support.h"
#include "ui/dialogs/value_entry.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

namespace sealkeep {
namespace {

void press(GtkWidget* entry, guint key)
{
    gtk_test_widget_send_key(entry, key, GdkModifierType(0));
    test::drain_events();
}

std::string text_of(GtkWidget* entry)
{
    return gtk_entry_get_text(GTK_ENTRY(entry));
}

TEST(ValueEntry, LongTextIsHeldEditedAndPastedWhole)
{
    struct Case {
        const char* name;
        bool shown;
        std::size_t bytes;
    } cases[] = {
        {"shown, 200 kB", true, 200000},
        {"masked, 200 kB", false, 200000},
        {"shown, 1 MB", true, 1 << 20},
        {"masked, 1 MB", false, 1 << 20},
    };
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string value;
        for (std::size_t n = 0; value.size() < c.bytes; ++n)
            value += n % 3 == 0 ? "\xc3\xa9" : n % 3 == 1 ? "\xe2\x82\xac" : "\xf0\x9d\x84\x9e";
        const auto chars = static_cast<gint>(g_utf8_strlen(value.c_str(), -1));
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        GtkWidget* entry = value_entry_new();
        gtk_entry_set_visibility(GTK_ENTRY(entry), c.shown);
        gtk_container_add(GTK_CONTAINER(window), entry);
        gtk_widget_show_all(window);
        gtk_widget_grab_focus(entry);
        test::drain_events();

        gtk_entry_set_text(GTK_ENTRY(entry), value.c_str());
        test::drain_events(); // laid out and drawn
        EXPECT_TRUE(text_of(entry) == value) << text_of(entry).size() << " of " << value.size() << " bytes";
        EXPECT_EQ(gtk_entry_buffer_get_length(gtk_entry_get_buffer(GTK_ENTRY(entry))), static_cast<guint>(chars));

        // Keys at the far end (past any 16-bit position) and at the start.
        press(entry, GDK_KEY_End);
        EXPECT_EQ(gtk_editable_get_position(GTK_EDITABLE(entry)), chars);
        press(entry, GDK_KEY_x);
        EXPECT_TRUE(text_of(entry) == value + "x");
        press(entry, GDK_KEY_BackSpace);
        press(entry, GDK_KEY_Home);
        press(entry, GDK_KEY_Delete);
        press(entry, GDK_KEY_y);
        EXPECT_TRUE(text_of(entry) == "y" + value.substr(2)) << "the first character is two bytes";

        // Selected all and typed over, then pasted into the empty entry.
        gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
        press(entry, GDK_KEY_z);
        EXPECT_EQ(text_of(entry), "z");
        press(entry, GDK_KEY_BackSpace);
        gtk_clipboard_set_text(clipboard, value.c_str(), static_cast<gint>(value.size()));
        g_signal_emit_by_name(entry, "paste-clipboard");
        test::drain_events();
        EXPECT_TRUE(text_of(entry) == value) << text_of(entry).size() << " of " << value.size() << " bytes";
        gtk_widget_destroy(window);
    }
    gtk_clipboard_clear(clipboard);
}

// The combo box's own entry, given the buffer, keeps what it held and takes what its list sets.
TEST(ValueEntry, AnExistingEntryTakesTheBuffer)
{
    GtkWidget* combo = gtk_combo_box_entry_new_text();
    g_object_ref_sink(combo);
    gtk_combo_box_append_text(GTK_COMBO_BOX(combo), "telnet");
    GtkEntry* entry = GTK_ENTRY(gtk_bin_get_child(GTK_BIN(combo)));
    gtk_entry_set_text(entry, "ssh");
    use_value_buffer(entry);
    EXPECT_STREQ(gtk_entry_get_text(entry), "ssh");
    const std::string value(100000, 's');
    gtk_entry_set_text(entry, value.c_str());
    EXPECT_EQ(gtk_entry_get_text(entry), value);
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), 0);
    EXPECT_STREQ(gtk_entry_get_text(entry), "telnet");
    gtk_widget_destroy(combo);
    g_object_unref(combo);
}

} // namespace
} // namespace sealkeep
