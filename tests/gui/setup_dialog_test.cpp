// The Setup dialog and the password-file chooser, driven in-process against real dconf on the private bus.
// Stored values are read back twice: through a fresh GSettings in this process and through the
// gsettings tool in a child process, so a value that only sits in this process's cache does not pass.
#include "core/entry_record.h"
#include "core/settings_values.h"
#include "gui/gui_support.h"
#include "ui/dialogs/setup_dialog.h"
#include "ui/glib_ptr.h"
#include "ui/lock/lock.h"
#include "ui/window/settings_follow.h"
#include "ui/settings/settings_store.h"
#include "ui/tree/entry_store.h"
#include "ui/window/main_window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace sealkeep {
namespace {

using test::drain_events;
using test::respond_in_nested_loop;

// The values in key order: path, ssh, cssh, ftp, telnet, http.
using Values = std::array<std::string, 6>;

const Values IN_MEMORY{"/srv/keys/passwords.gpg", "ssh -l %u %h", "cssh%h", "ftp %u@%h", "telnet %h", "firefox %h"};
const Values BEHIND_OUR_BACK{"/elsewhere.gpg", "other ssh", "other cssh", "other ftp", "other telnet", "other http"};

const std::vector<std::string> FIXTURE{
    "customer=Acme;group=web;server=srv1;service=ssh;serviceplus=22;user=alice;password=pw-a",
};

using test::child_widgets;

void expect_alignment(GtkWidget* widget, gfloat xalign, gfloat yalign, gfloat xscale, gfloat yscale)
{
    gfloat x, y, xs, ys;
    g_object_get(widget, "xalign", &x, "yalign", &y, "xscale", &xs, "yscale", &ys, nullptr);
    EXPECT_EQ(x, xalign);
    EXPECT_EQ(y, yalign);
    EXPECT_EQ(xs, xscale);
    EXPECT_EQ(ys, yscale);
}

Values values_in_memory()
{
    Values result;
    for (std::size_t i = 0; i < setting_keys().size(); ++i)
        result[i] = test::main_window().settings.values.*setting_keys()[i].value;
    return result;
}

void set_values_in_memory(const Values& values)
{
    for (std::size_t i = 0; i < setting_keys().size(); ++i)
        test::main_window().settings.values.*setting_keys()[i].value = values[i];
}

std::string run_gsettings(const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>("gsettings")};
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    gchar* out = nullptr;
    gint status = 0;
    GErrorPtr error;
    gboolean ran = g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, &out, nullptr,
                                &status, GErrorOut(error));
    GCharPtr owned{out};
    EXPECT_TRUE(ran) << (error ? error->message : "");
    EXPECT_EQ(status, 0) << "gsettings " << args[0] << " failed";
    return owned ? owned.get() : "";
}

// What a fresh GSettings in this process reads.
Values stored_in_process()
{
    RefPtr<GSettings> fresh = take_ref(g_settings_new(SCHEMA_ID));
    Values result;
    for (std::size_t i = 0; i < setting_keys().size(); ++i) {
        GCharPtr value{g_settings_get_string(fresh.get(), setting_keys()[i].key)};
        result[i] = value.get();
    }
    return result;
}

// What another process reads from dconf.
Values stored_in_dconf()
{
    std::map<std::string, std::string> by_key;
    std::string listing = run_gsettings({"list-recursively", SCHEMA_ID});
    GStrvPtr lines{g_strsplit(listing.c_str(), "\n", -1)};
    for (gchar** line = lines.get(); *line; ++line) {
        // "<schema> <key> <GVariant text>"
        GStrvPtr fields{g_strsplit(*line, " ", 3)};
        if (g_strv_length(fields.get()) != 3)
            continue;
        GErrorPtr error;
        GVariant* parsed = g_variant_parse(G_VARIANT_TYPE_STRING, fields.get()[2], nullptr, nullptr, GErrorOut(error));
        if (!parsed)
            continue;
        by_key[fields.get()[1]] = g_variant_get_string(parsed, nullptr);
        g_variant_unref(parsed);
    }
    Values result;
    for (std::size_t i = 0; i < setting_keys().size(); ++i)
        result[i] = by_key[setting_keys()[i].key];
    return result;
}

void store_behind_our_back(const Values& values)
{
    for (std::size_t i = 0; i < setting_keys().size(); ++i)
        run_gsettings({"set", SCHEMA_ID, setting_keys()[i].key, values[i]});
}

SettingFields all_fields()
{
    SettingFields fields;
    for (const auto& key : setting_keys())
        fields.push_back(key.value);
    return fields;
}

bool wait_in_memory(const Values& expected)
{
    return test::wait_until([&] { return values_in_memory() == expected; });
}

// While it lives, the window does not hear of changes in the store: a change made elsewhere whose news
// has not arrived yet, as when someone stores a value just before an action of ours.
class NotFollowing {
public:
    NotFollowing() { stop_following_settings(test::main_window()); }
    ~NotFollowing() { follow_settings_changes(test::main_window()); }
    NotFollowing(const NotFollowing&) = delete;
    NotFollowing& operator=(const NotFollowing&) = delete;
};

#define EXPECT_STORED(expected)                                                                                        \
    do {                                                                                                               \
        EXPECT_EQ(stored_in_process(), (expected)) << "read by a fresh GSettings";                                     \
        EXPECT_EQ(stored_in_dconf(), (expected)) << "read by gsettings in another process";                            \
    } while (0)

// The widgets of a Setup dialog, found by its layout: the entries are matched to their settings by the
// label beside them, so a row wired to the wrong value shows up.
struct SetupWidgets {
    GtkWidget* file_entry = nullptr;
    GtkWidget* open_button = nullptr;
    std::map<std::string, GtkWidget*> entry_by_label;
};

SetupWidgets find_setup_widgets(GtkWidget* dialog)
{
    SetupWidgets found;
    auto frames = child_widgets(gtk_dialog_get_content_area(GTK_DIALOG(dialog)));
    // The content area also holds the dialog's separator and button row; the frames are ours.
    std::vector<GtkWidget*> only_frames;
    for (GtkWidget* w : frames)
        if (GTK_IS_FRAME(w))
            only_frames.push_back(w);
    if (only_frames.size() != 3)
        return found;
    GtkWidget* file_row = gtk_bin_get_child(GTK_BIN(gtk_bin_get_child(GTK_BIN(only_frames[0]))));
    auto row = child_widgets(file_row);
    if (row.size() == 3) {
        found.file_entry = row[1];
        found.open_button = row[2];
    }
    // The command templates' entries and the spin buttons of the limits, each by the label beside it.
    for (GtkWidget* frame : {only_frames[1], only_frames[2]}) {
        GtkWidget* table = gtk_bin_get_child(GTK_BIN(gtk_bin_get_child(GTK_BIN(frame))));
        std::map<guint, std::string> label_of_row;
        std::map<guint, GtkWidget*> entry_of_row;
        for (GtkWidget* child : child_widgets(table)) {
            guint left = 0, top = 0;
            gtk_container_child_get(GTK_CONTAINER(table), child, "left-attach", &left, "top-attach", &top, nullptr);
            if (left == 0 && GTK_IS_ALIGNMENT(child))
                label_of_row[top] = gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(child))));
            else if (left == 1)
                entry_of_row[top] = child;
        }
        for (const auto& [top, label] : label_of_row)
            found.entry_by_label[label] = entry_of_row[top];
    }
    return found;
}

class SetupDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        set_values_in_memory(IN_MEMORY);
        test::main_window().settings.file_path_given = false;
        save_settings(test::main_window().settings.object.get(), test::main_window().settings.values, all_fields());
        GtkWidget* prompt = test::main_window().prompt.panel;
        ASSERT_NE(prompt, nullptr);
        gtk_widget_hide(prompt);
        ASSERT_EQ(test::load_fixture(FIXTURE), 1);

        const char* scratch = std::getenv("SEALKEEP_SCRATCH");
        ASSERT_NE(scratch, nullptr) << "run inside tests/harness/session.sh";
        chosen_file_ = std::string(scratch) + "/chosen passwords.gpg";
        std::ofstream(chosen_file_) << "not really encrypted\n";
    }

    void TearDown() override
    {
        test::main_window().settings.file_path_given = false;
        drain_events();
        // Every write here reaches dconf: none may be reported as lost.
        EXPECT_EQ(test::main_window().settings.not_stored_dialog, nullptr) << "a stored value was reported as not stored";
        if (GtkWidget* dialog = test::main_window().settings.not_stored_dialog)
            gtk_widget_destroy(dialog);
    }

    static bool prompt_shown() { return gtk_widget_get_visible(test::main_window().prompt.panel); }
    static int top_rows() { return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(test::main_window().tree.model), nullptr); }

    std::string chosen_file_;
};

// Runs the Setup dialog; `act` gets its widgets from inside the dialog's loop and returns the response.
template <typename Act>
void run_setup(Act act)
{
    struct Data {
        Act act;
    } data{act};
    respond_in_nested_loop(
        [](GtkWidget* dialog, void* user) {
            auto* d = static_cast<Data*>(user);
            gint response = d->act(dialog, find_setup_widgets(dialog));
            if (response == GTK_RESPONSE_DELETE_EVENT) {
                // As the window manager's close button does it: a delete event on the dialog's window.
                GdkEvent* event = gdk_event_new(GDK_DELETE);
                event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(dialog)));
                event->any.send_event = TRUE;
                gtk_main_do_event(event);
                gdk_event_free(event);
            } else {
                gtk_dialog_response(GTK_DIALOG(dialog), response);
            }
        },
        &data);
    show_setup_dialog(test::main_window().setup);
}

// Answers the chooser that is about to run: picks `file` (or nothing) and gives `response`.
struct ChooserAnswer {
    ChooserAnswer() = default;
    ChooserAnswer(std::string file_to_pick, gint answer) : file(std::move(file_to_pick)), response(answer) {}
    std::string file;
    gint response = GTK_RESPONSE_OK;
    std::string title;
    GtkWindow* parent = nullptr;
    bool answered = false;
};

void answer_next_chooser(ChooserAnswer* answer)
{
    respond_in_nested_loop(
        [](GtkWidget* dialog, void* user) {
            auto* a = static_cast<ChooserAnswer*>(user);
            a->answered = true;
            a->title = gtk_window_get_title(GTK_WINDOW(dialog));
            a->parent = gtk_window_get_transient_for(GTK_WINDOW(dialog));
            if (!GTK_IS_FILE_CHOOSER(dialog)) {
                ADD_FAILURE() << "expected the file chooser, got " << a->title;
                gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
                return;
            }
            if (!a->file.empty()) {
                GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
                // The chooser loads the folder before it selects the file. A selection asked for while it
                // still loads the folder it opened at can be lost in the toolkit: it is asked again.
                const gint64 deadline = g_get_monotonic_time() + 10 * G_TIME_SPAN_SECOND;
                gint64 next_ask = 0;
                while (g_get_monotonic_time() < deadline) {
                    GCharPtr current{gtk_file_chooser_get_filename(chooser)};
                    if (current && a->file == current.get())
                        break;
                    if (g_get_monotonic_time() >= next_ask) {
                        gtk_file_chooser_set_filename(chooser, a->file.c_str());
                        next_ask = g_get_monotonic_time() + G_TIME_SPAN_SECOND / 2;
                    }
                    gtk_main_iteration_do(FALSE);
                    g_usleep(1000);
                }
                GCharPtr current{gtk_file_chooser_get_filename(chooser)};
                if (!current || a->file != current.get()) {
                    // The chooser keeps itself open on an OK without a file: Cancel, so that the test fails
                    // instead of waiting for ever.
                    ADD_FAILURE() << "the chooser did not select " << a->file;
                    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
                    return;
                }
            }
            gtk_dialog_response(GTK_DIALOG(dialog), a->response);
        },
        answer);
}

GtkWidget* open_file_menu_item()
{
    GtkWidget* vbox = gtk_bin_get_child(GTK_BIN(test::main_window().window));
    GtkWidget* menu_bar = child_widgets(vbox).at(0);
    GtkWidget* file_menu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(child_widgets(menu_bar).at(0)));
    return child_widgets(file_menu).at(0);
}

void check_setup_layout(GtkWidget* dialog, const SetupWidgets& w)
{
    GtkWindow* window = GTK_WINDOW(dialog);
    EXPECT_STREQ(gtk_window_get_title(window), "Setup");
    EXPECT_TRUE(gtk_window_get_modal(window));
    EXPECT_EQ(gtk_window_get_transient_for(window), GTK_WINDOW(test::main_window().window));
    GtkWindowPosition position;
    g_object_get(dialog, "window-position", &position, nullptr);
    EXPECT_EQ(position, GTK_WIN_POS_CENTER);
    gint width = 0, height = 0;
    gtk_window_get_default_size(window, &width, &height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, -1);

    // Buttons as they stand on screen, left to right: Cancel, then OK.
    auto buttons = child_widgets(gtk_dialog_get_action_area(GTK_DIALOG(dialog)));
    std::sort(buttons.begin(), buttons.end(), [](GtkWidget* a, GtkWidget* b) {
        GtkAllocation left, right;
        gtk_widget_get_allocation(a, &left);
        gtk_widget_get_allocation(b, &right);
        return left.x < right.x;
    });
    const std::pair<const char*, gint> button_table[] = {{"gtk-cancel", GTK_RESPONSE_CANCEL},
                                                         {"gtk-ok", GTK_RESPONSE_OK}};
    EXPECT_EQ(buttons.size(), 2u);
    for (std::size_t i = 0; i < buttons.size() && i < 2; ++i) {
        EXPECT_TRUE(gtk_button_get_use_stock(GTK_BUTTON(buttons[i])));
        EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(buttons[i])), button_table[i].first);
        EXPECT_EQ(gtk_dialog_get_response_for_widget(GTK_DIALOG(dialog), buttons[i]), button_table[i].second);
    }

    struct FrameLayout {
        const char* label;
        guint top, bottom, left, right;
    };
    const FrameLayout frame_layouts[] = {
        {"Password file database encrypted whith GnuPG:", 4, 4, 4, 4},
        {"External commands to launch:", 8, 8, 4, 4},
        {"Secrets kept short-lived:", 8, 8, 4, 4},
    };
    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    std::vector<GtkWidget*> frames;
    for (GtkWidget* child : child_widgets(content))
        if (GTK_IS_FRAME(child))
            frames.push_back(child);
    EXPECT_EQ(frames.size(), 3u);
    for (std::size_t i = 0; i < frames.size() && i < 3; ++i) {
        SCOPED_TRACE(frame_layouts[i].label);
        EXPECT_STREQ(gtk_frame_get_label(GTK_FRAME(frames[i])), frame_layouts[i].label);
        gboolean expand = TRUE, fill = TRUE;
        guint padding = 0;
        GtkPackType pack;
        gtk_box_query_child_packing(GTK_BOX(content), frames[i], &expand, &fill, &padding, &pack);
        EXPECT_FALSE(expand);
        EXPECT_FALSE(fill);
        EXPECT_EQ(padding, 2u);
        EXPECT_EQ(pack, GTK_PACK_START);
        GtkWidget* alignment = gtk_bin_get_child(GTK_BIN(frames[i]));
        ASSERT_TRUE(GTK_IS_ALIGNMENT(alignment));
        expect_alignment(alignment, 0.0f, 0.0f, 1.0f, 1.0f);
        guint top, bottom, left, right;
        gtk_alignment_get_padding(GTK_ALIGNMENT(alignment), &top, &bottom, &left, &right);
        EXPECT_EQ(top, frame_layouts[i].top);
        EXPECT_EQ(bottom, frame_layouts[i].bottom);
        EXPECT_EQ(left, frame_layouts[i].left);
        EXPECT_EQ(right, frame_layouts[i].right);
    }

    // The file row: label, entry that takes the width, and an open button showing only the icon.
    EXPECT_NE(w.file_entry, nullptr);
    if (w.file_entry) {
        GtkWidget* row = gtk_widget_get_parent(w.file_entry);
        EXPECT_TRUE(GTK_IS_HBOX(row));
        EXPECT_FALSE(gtk_box_get_homogeneous(GTK_BOX(row)));
        EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(row)), 0);
        auto items = child_widgets(row);
        struct Packing {
            gboolean expand, fill;
            guint padding;
        };
        const Packing packings[] = {{FALSE, FALSE, 2}, {TRUE, TRUE, 4}, {FALSE, FALSE, 2}};
        for (std::size_t i = 0; i < items.size() && i < 3; ++i) {
            gboolean expand, fill;
            guint padding;
            gtk_box_query_child_packing(GTK_BOX(row), items[i], &expand, &fill, &padding, nullptr);
            EXPECT_EQ(expand, packings[i].expand) << "child " << i;
            EXPECT_EQ(fill, packings[i].fill) << "child " << i;
            EXPECT_EQ(padding, packings[i].padding) << "child " << i;
        }
        EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(items.at(0))), "Default file");
        EXPECT_EQ(gtk_entry_get_text(GTK_ENTRY(w.file_entry)), IN_MEMORY[0]);
        EXPECT_EQ(test::main_window().setup.file_entry, w.file_entry);
    }
    EXPECT_NE(w.open_button, nullptr);
    if (w.open_button) {
        GtkWidget* image = gtk_bin_get_child(GTK_BIN(w.open_button));
        ASSERT_TRUE(GTK_IS_IMAGE(image));
        gchar* stock_id = nullptr;
        GtkIconSize size;
        gtk_image_get_stock(GTK_IMAGE(image), &stock_id, &size);
        EXPECT_STREQ(stock_id, "gtk-open");
        EXPECT_EQ(size, GTK_ICON_SIZE_BUTTON);
        EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(w.open_button)), nullptr);
    }

    // The command table: rows in this order, labels right-aligned, entries taking the extra width.
    const std::pair<const char*, const std::string*> rows[] = {
        {"SSH command", &IN_MEMORY[1]},    {"CSSH command", &IN_MEMORY[2]}, {"FTP command", &IN_MEMORY[3]},
        {"TELNET command", &IN_MEMORY[4]}, {"HTTP command", &IN_MEMORY[5]},
    };
    // Five templates and the two limits of the third frame.
    EXPECT_EQ(w.entry_by_label.size(), 7u);
    GtkWidget* table =
        w.entry_by_label.count("SSH command") ? gtk_widget_get_parent(w.entry_by_label.at("SSH command")) : nullptr;
    ASSERT_TRUE(table && GTK_IS_TABLE(table));
    guint n_rows = 0, n_columns = 0;
    gboolean homogeneous = TRUE;
    g_object_get(table, "n-rows", &n_rows, "n-columns", &n_columns, "homogeneous", &homogeneous, nullptr);
    EXPECT_EQ(n_rows, 5u);
    EXPECT_EQ(n_columns, 2u);
    EXPECT_FALSE(homogeneous);
    EXPECT_EQ(gtk_table_get_default_col_spacing(GTK_TABLE(table)), 6u);
    std::map<guint, std::string> label_of_row;
    for (GtkWidget* child : child_widgets(table)) {
        guint left, right, top, bottom, xpad, ypad;
        GtkAttachOptions xopt, yopt;
        gtk_container_child_get(GTK_CONTAINER(table), child, "left-attach", &left, "right-attach", &right, "top-attach",
                                &top, "bottom-attach", &bottom, "x-options", &xopt, "y-options", &yopt, "x-padding",
                                &xpad, "y-padding", &ypad, nullptr);
        SCOPED_TRACE("table cell at column " + std::to_string(left) + " row " + std::to_string(top));
        EXPECT_EQ(right, left + 1);
        EXPECT_EQ(bottom, top + 1);
        EXPECT_EQ(xpad, 0u);
        EXPECT_EQ(ypad, 0u);
        if (left == 0) {
            ASSERT_TRUE(GTK_IS_ALIGNMENT(child));
            expect_alignment(child, 1.0f, 0.5f, 0.0f, 0.0f);
            EXPECT_EQ(xopt, GTK_FILL);
            EXPECT_EQ(yopt, GTK_FILL);
            label_of_row[top] = gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(child))));
        } else {
            EXPECT_TRUE(GTK_IS_ENTRY(child));
            EXPECT_EQ(xopt, GTK_EXPAND | GTK_FILL);
            EXPECT_EQ(yopt, GTK_EXPAND | GTK_FILL);
        }
    }
    for (guint r = 0; r < 5; ++r) {
        EXPECT_EQ(label_of_row[r], rows[r].first) << "row " << r;
        auto entry = w.entry_by_label.find(rows[r].first);
        if (entry != w.entry_by_label.end()) {
            EXPECT_EQ(gtk_entry_get_text(GTK_ENTRY(entry->second)), *rows[r].second) << rows[r].first;
        }
    }
}

TEST_F(SetupDialogTest, LaysOutTheSettingsUnderThreeFramesAndShowsTheValuesInMemory)
{
    run_setup([](GtkWidget* dialog, const SetupWidgets& w) {
        check_setup_layout(dialog, w);
        return GTK_RESPONSE_CANCEL;
    });
    EXPECT_EQ(test::main_window().setup.file_entry, nullptr) << "the entry of a destroyed dialog must be forgotten";
}

// What another process stores just before OK is not put back: OK writes only what the user edited.
// The news of the change is held back here, so the values in memory are the old ones when OK comes.
TEST_F(SetupDialogTest, OkWritesOnlyTheEditedEntries)
{
    {
        NotFollowing late_news;
        store_behind_our_back(BEHIND_OUR_BACK);
        run_setup([](GtkWidget*, const SetupWidgets& w) {
            gtk_entry_set_text(GTK_ENTRY(w.entry_by_label.at("FTP command")), "my ftp %h");
            return GTK_RESPONSE_OK;
        });
        Values expected = BEHIND_OUR_BACK;
        expected[3] = "my ftp %h";
        EXPECT_STORED(expected);
        EXPECT_EQ(test::main_window().settings.values.ftp_cmd, "my ftp %h");
    }

    // Without an edit, OK writes nothing at all.
    store_behind_our_back(IN_MEMORY);
    NotFollowing late_news;
    store_behind_our_back(BEHIND_OUR_BACK);
    run_setup([](GtkWidget*, const SetupWidgets&) { return GTK_RESPONSE_OK; });
    EXPECT_STORED(BEHIND_OUR_BACK);
    EXPECT_EQ(test::main_window().setup.file_entry, nullptr);
}

// A change made elsewhere becomes the value in use, and an open Setup dialog shows it in every entry
// the user has not edited; an edited entry keeps the user's text, and OK stores that one alone.
TEST_F(SetupDialogTest, ShowsChangesMadeElsewhereExceptInEditedEntries)
{
    struct Seen {
        std::string ssh_shown, http_shown, file_shown;
        bool arrived = false;
    } seen;
    run_setup([&seen](GtkWidget*, const SetupWidgets& w) {
        gtk_entry_set_text(GTK_ENTRY(w.entry_by_label.at("SSH command")), "my ssh %h");
        run_gsettings({"set", SCHEMA_ID, "ssh-cmd", "their ssh"});
        run_gsettings({"set", SCHEMA_ID, "http-cmd", "their http"});
        run_gsettings({"set", SCHEMA_ID, "sealkeep-file-path", "/their/file.gpg"});
        GtkEntry* http = GTK_ENTRY(w.entry_by_label.at("HTTP command"));
        GtkEntry* file = GTK_ENTRY(w.file_entry);
        seen.arrived = test::wait_until([&] {
            return std::string(gtk_entry_get_text(http)) == "their http" &&
                   std::string(gtk_entry_get_text(file)) == "/their/file.gpg" &&
                   test::main_window().settings.values.ssh_cmd == "their ssh";
        });
        seen.ssh_shown = gtk_entry_get_text(GTK_ENTRY(w.entry_by_label.at("SSH command")));
        seen.http_shown = gtk_entry_get_text(http);
        seen.file_shown = gtk_entry_get_text(file);
        return GTK_RESPONSE_OK;
    });

    EXPECT_TRUE(seen.arrived) << "the changes never reached the open dialog";
    EXPECT_EQ(seen.ssh_shown, "my ssh %h");
    EXPECT_EQ(seen.http_shown, "their http");
    EXPECT_EQ(seen.file_shown, "/their/file.gpg");
    const Values expected{"/their/file.gpg", "my ssh %h", IN_MEMORY[2], IN_MEMORY[3], IN_MEMORY[4], "their http"};
    EXPECT_EQ(values_in_memory(), expected);
    EXPECT_STORED(expected);
}

TEST_F(SetupDialogTest, CancelAndClosingStoreNothing)
{
    const gint responses[] = {GTK_RESPONSE_CANCEL, GTK_RESPONSE_DELETE_EVENT};
    for (gint response : responses) {
        SCOPED_TRACE(response == GTK_RESPONSE_CANCEL ? "Cancel" : "closing the window");
        store_behind_our_back(BEHIND_OUR_BACK);
        run_setup([response](GtkWidget*, const SetupWidgets& w) {
            gtk_entry_set_text(GTK_ENTRY(w.entry_by_label.at("SSH command")), "edited ssh");
            gtk_entry_set_text(GTK_ENTRY(w.file_entry), "/edited.gpg");
            return response;
        });
        // The values in use are the stored ones, never the dialog's edits.
        EXPECT_TRUE(wait_in_memory(BEHIND_OUR_BACK));
        EXPECT_STORED(BEHIND_OUR_BACK);
        EXPECT_EQ(test::main_window().setup.file_entry, nullptr);
    }
}

TEST_F(SetupDialogTest, OkStoresEachEntryUnderItsOwnKeyExactlyAsTyped)
{
    // Blanks around a text stay, and an emptied entry is stored empty.
    const Values typed{"  /new path/pw.gpg ", "", "cssh -x%h", "", " telnet %h", "http %h %u"};
    run_setup([&typed](GtkWidget*, const SetupWidgets& w) {
        gtk_entry_set_text(GTK_ENTRY(w.file_entry), typed[0].c_str());
        const char* labels[] = {"SSH command", "CSSH command", "FTP command", "TELNET command", "HTTP command"};
        for (int i = 0; i < 5; ++i)
            gtk_entry_set_text(GTK_ENTRY(w.entry_by_label.at(labels[i])), typed[i + 1].c_str());
        return GTK_RESPONSE_OK;
    });

    EXPECT_EQ(values_in_memory(), typed);
    EXPECT_STORED(typed);
    // OK reloads nothing: the tree keeps the last load's accounts until the next Refresh.
    EXPECT_EQ(test::main_window().tree.database_loaded, 1);
    EXPECT_EQ(test::row_text("0"), "Acme");
    EXPECT_FALSE(prompt_shown());
}

// Enter in any field answers OK, as the toolkit delivers it: the field's "activate". A field that did
// not pass Enter on would leave the dialog open; Cancel then ends it, and nothing is stored.
TEST_F(SetupDialogTest, EnterInAFieldIsOk)
{
    constexpr const char* CLEAR = "Clear a copied password after (seconds, 0: never)";
    MainWindow& main = test::main_window();
    const int saved_clear = main.settings.values.clipboard_clear_seconds;
    const struct {
        const char* label; // null: the password-file entry
        const char* typed;
    } cases[] = {
        {nullptr, "/typed/and entered.gpg"},
        {"SSH command", "ssh -4 %h"},
        {CLEAR, "12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label ? c.label : "Default file");
        struct Data {
            const char* label;
            const char* typed;
            bool answered = false;
        } data{c.label, c.typed};
        respond_in_nested_loop(
            [](GtkWidget* dialog, void* user) {
                auto* d = static_cast<Data*>(user);
                const SetupWidgets w = find_setup_widgets(dialog);
                GtkWidget* field = d->label ? w.entry_by_label.at(d->label) : w.file_entry;
                const gulong handler = g_signal_connect_swapped(
                    dialog, "response", G_CALLBACK(+[](bool* answered) { *answered = true; }), &d->answered);
                gtk_entry_set_text(GTK_ENTRY(field), d->typed);
                gtk_widget_activate(field);
                // The default button shows itself pressed for a moment before it answers.
                test::wait_until([d] { return d->answered; });
                g_signal_handler_disconnect(dialog, handler);
                if (!d->answered)
                    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
            },
            &data);
        show_setup_dialog(main.setup);
        EXPECT_TRUE(data.answered) << "Enter left the dialog open";
        RefPtr<GSettings> fresh = take_ref(g_settings_new(SCHEMA_ID));
        if (!c.label) {
            EXPECT_EQ(main.settings.values.password_file_path, c.typed);
            EXPECT_EQ(stored_in_dconf()[0], c.typed);
        } else if (c.label == CLEAR) {
            EXPECT_EQ(main.settings.values.clipboard_clear_seconds, 12);
            EXPECT_EQ(g_settings_get_int(fresh.get(), "clipboard-clear-seconds"), 12);
        } else {
            EXPECT_EQ(main.settings.values.ssh_cmd, c.typed);
            EXPECT_EQ(stored_in_dconf()[1], c.typed);
        }
    }
    main.settings.values.clipboard_clear_seconds = saved_clear;
    save_int_setting(main.settings.object.get(), "clipboard-clear-seconds", saved_clear);
}

// The two limits: shown from memory, stored as numbers by OK (a value typed without Enter counts),
// kept by Cancel, and the idle lock takes its new time at once.
TEST_F(SetupDialogTest, LimitsAreSpinButtonsStoredAsNumbersByOk)
{
    constexpr const char* CLEAR = "Clear a copied password after (seconds, 0: never)";
    constexpr const char* IDLE = "Lock after no input for (minutes, 0: never)";
    MainWindow& main = test::main_window();
    const SettingsValues saved = main.settings.values;
    main.settings.values.clipboard_clear_seconds = 45;
    main.settings.values.lock_idle_minutes = 10;
    const struct {
        const char* name;
        const char* typed_clear;
        const char* typed_idle;
        gint response;
        int shown_clear, shown_idle; // what the dialog shows when it opens
        int clear, idle;             // in memory and stored afterwards
    } cases[] = {
        {"OK", "7", "0", GTK_RESPONSE_OK, 45, 10, 7, 0},
        {"Cancel", "9", "3", GTK_RESPONSE_CANCEL, 7, 0, 7, 0},
        {"OK again", "0", "25", GTK_RESPONSE_OK, 7, 0, 0, 25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int shown_clear = -1, shown_idle = -1;
        run_setup([&](GtkWidget*, const SetupWidgets& w) {
            GtkWidget* clear = w.entry_by_label.at(CLEAR);
            GtkWidget* idle = w.entry_by_label.at(IDLE);
            EXPECT_TRUE(GTK_IS_SPIN_BUTTON(clear));
            EXPECT_TRUE(GTK_IS_SPIN_BUTTON(idle));
            shown_clear = gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(clear));
            shown_idle = gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(idle));
            gtk_entry_set_text(GTK_ENTRY(clear), c.typed_clear);
            gtk_entry_set_text(GTK_ENTRY(idle), c.typed_idle);
            return c.response;
        });
        EXPECT_EQ(main.settings.values.clipboard_clear_seconds, c.clear);
        EXPECT_EQ(main.settings.values.lock_idle_minutes, c.idle);
        EXPECT_EQ(main.lock.idle_seconds, static_cast<guint>(main.settings.values.lock_idle_minutes) * 60u);
        RefPtr<GSettings> fresh = take_ref(g_settings_new(SCHEMA_ID));
        if (c.response == GTK_RESPONSE_OK) {
            EXPECT_EQ(g_settings_get_int(fresh.get(), "clipboard-clear-seconds"), c.clear);
            EXPECT_EQ(g_settings_get_int(fresh.get(), "lock-idle-minutes"), c.idle);
            EXPECT_EQ(run_gsettings({"get", SCHEMA_ID, "lock-idle-minutes"}), std::to_string(c.idle) + "\n");
        }
        EXPECT_EQ(shown_clear, c.shown_clear);
        EXPECT_EQ(shown_idle, c.shown_idle);
    }
    main.settings.values = saved;
    set_idle_lock_seconds(main.lock, 0);
    save_int_setting(main.settings.object.get(), "clipboard-clear-seconds", saved.clipboard_clear_seconds);
    save_int_setting(main.settings.object.get(), "lock-idle-minutes", saved.lock_idle_minutes);
}

// The two limits changed elsewhere (gsettings, another Sealkeep's Setup) become the values in use, the
// idle lock's time among them; an open Setup shows them unless the user edited that field, and its OK
// stores the user's edit alone.
TEST_F(SetupDialogTest, LimitsChangedElsewhereAreFollowedAndShown)
{
    constexpr const char* CLEAR = "Clear a copied password after (seconds, 0: never)";
    constexpr const char* IDLE = "Lock after no input for (minutes, 0: never)";
    MainWindow& main = test::main_window();
    const SettingsValues saved = main.settings.values;
    const auto stored_int = [](const char* key) {
        RefPtr<GSettings> fresh = take_ref(g_settings_new(SCHEMA_ID));
        return g_settings_get_int(fresh.get(), key);
    };

    run_gsettings({"set", SCHEMA_ID, "clipboard-clear-seconds", "7"});
    run_gsettings({"set", SCHEMA_ID, "lock-idle-minutes", "3"});
    EXPECT_TRUE(
        test::wait_until([&] { return main.settings.values.clipboard_clear_seconds == 7 && main.settings.values.lock_idle_minutes == 3; }));
    EXPECT_EQ(main.lock.idle_seconds, 180u);

    struct Seen {
        int clear = -1, idle = -1;
        bool arrived = false;
    } seen;
    run_setup([&](GtkWidget*, const SetupWidgets& w) {
        GtkSpinButton* clear = GTK_SPIN_BUTTON(w.entry_by_label.at(CLEAR));
        GtkSpinButton* idle = GTK_SPIN_BUTTON(w.entry_by_label.at(IDLE));
        gtk_entry_set_text(GTK_ENTRY(clear), "20");
        run_gsettings({"set", SCHEMA_ID, "clipboard-clear-seconds", "8"});
        run_gsettings({"set", SCHEMA_ID, "lock-idle-minutes", "4"});
        seen.arrived = test::wait_until(
            [&] { return gtk_spin_button_get_value_as_int(idle) == 4 && main.settings.values.clipboard_clear_seconds == 8; });
        seen.clear = gtk_spin_button_get_value_as_int(clear);
        seen.idle = gtk_spin_button_get_value_as_int(idle);
        return GTK_RESPONSE_OK;
    });
    EXPECT_TRUE(seen.arrived) << "the changes never reached the open dialog";
    EXPECT_EQ(seen.clear, 20);
    EXPECT_EQ(seen.idle, 4);
    EXPECT_EQ(main.settings.values.clipboard_clear_seconds, 20);
    EXPECT_EQ(main.settings.values.lock_idle_minutes, 4);
    EXPECT_EQ(stored_int("clipboard-clear-seconds"), 20);
    EXPECT_EQ(stored_int("lock-idle-minutes"), 4);

    main.settings.values = saved;
    set_idle_lock_seconds(main.lock, 0);
    save_int_setting(main.settings.object.get(), "clipboard-clear-seconds", saved.clipboard_clear_seconds);
    save_int_setting(main.settings.object.get(), "lock-idle-minutes", saved.lock_idle_minutes);
    drain_events();
}

// A template or the Filter toggle changed outside while accounts are shown: the next action builds its
// command line from the new template (not the one of the last load), and the Filter follows the store.
TEST_F(SetupDialogTest, TemplatesAndTheFilterChangedElsewhereAreUsedWithoutAReload)
{
    MainWindow& main = test::main_window();
    const SettingsValues saved = main.settings.values;
    test::load_fixture({test::record_line("acme;web;srv1;ssh;22;root;pw")});
    ASSERT_EQ(test::records().size(), 1u);
    const std::string before = test::records().front()->command_line();

    run_gsettings({"set", SCHEMA_ID, "ssh-cmd", "echo changed %h"});
    EXPECT_TRUE(test::wait_until([&] { return main.settings.values.ssh_cmd == "echo changed %h"; }));
    EXPECT_EQ(test::records().front()->command_line(), "echo changed srv1") << "was: " << before;

    const bool filter_was = main.settings.values.search_filter;
    run_gsettings({"set", SCHEMA_ID, "search-filter", filter_was ? "false" : "true"});
    EXPECT_TRUE(test::wait_until([&] { return main.settings.values.search_filter != filter_was; }));
    EXPECT_EQ(gtk_toggle_button_get_active(main.search.filter_toggle) != FALSE, !filter_was);

    // Put back as the window itself would store them: a value set back from outside to what an own
    // write of this run replaced would read as dconf taking that write back.
    main.settings.values = saved;
    save_settings(main.settings.object.get(), main.settings.values, {&SettingsValues::ssh_cmd});
    save_setting(main.settings.object.get(), SEARCH_FILTER_KEY, filter_was);
    set_search_filter(main.search, filter_was);
    drain_events();
    test::load_fixture({});
    drain_events();
}

// A path given on the command line is the one in use for this run: Setup shows it, a default stored
// elsewhere meanwhile does not replace it, and OK stores it only when the user edited it.
TEST_F(SetupDialogTest, PathGivenOnTheCommandLineStaysInForceAndIsStoredOnlyWhenEdited)
{
    // As the command line does it: the path changes in memory only.
    const std::string given = "/from/the command line.gpg";
    test::main_window().settings.values.password_file_path = given;
    test::main_window().settings.file_path_given = true;
    run_gsettings({"set", SCHEMA_ID, "sealkeep-file-path", "/their default.gpg"});
    run_gsettings({"set", SCHEMA_ID, "http-cmd", "their http"});
    EXPECT_TRUE(test::wait_until([] { return test::main_window().settings.values.http_cmd == "their http"; }));
    EXPECT_EQ(test::main_window().settings.values.password_file_path, given);

    std::string shown;
    run_setup([&shown](GtkWidget*, const SetupWidgets& w) {
        shown = gtk_entry_get_text(GTK_ENTRY(w.file_entry));
        return GTK_RESPONSE_OK;
    });
    EXPECT_EQ(shown, given);
    EXPECT_EQ(stored_in_dconf()[0], "/their default.gpg");
    EXPECT_EQ(test::main_window().settings.values.password_file_path, given);

    // An edited path is the user's pick: stored, and from then on the stored default is followed.
    run_setup([](GtkWidget*, const SetupWidgets& w) {
        gtk_entry_set_text(GTK_ENTRY(w.file_entry), "/picked in setup.gpg");
        return GTK_RESPONSE_OK;
    });
    EXPECT_EQ(stored_in_dconf()[0], "/picked in setup.gpg");
    EXPECT_FALSE(test::main_window().settings.file_path_given);
    run_gsettings({"set", SCHEMA_ID, "sealkeep-file-path", "/later default.gpg"});
    EXPECT_TRUE(test::wait_until([] { return test::main_window().settings.values.password_file_path == "/later default.gpg"; }));
}

TEST_F(SetupDialogTest, FileChosenFromTheFileMenuIsStoredAndStartsOver)
{
    // A Setup dialog that came and went first: the chooser must not reach for its entry.
    run_setup([](GtkWidget*, const SetupWidgets&) { return GTK_RESPONSE_CANCEL; });
    ASSERT_EQ(test::main_window().setup.file_entry, nullptr);

    ChooserAnswer answer{chosen_file_, GTK_RESPONSE_OK};
    answer_next_chooser(&answer);
    gtk_menu_item_activate(GTK_MENU_ITEM(open_file_menu_item()));
    drain_events();

    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(answer.title, "Select a new password file");
    EXPECT_EQ(answer.parent, GTK_WINDOW(test::main_window().window));
    EXPECT_EQ(test::main_window().settings.values.password_file_path, chosen_file_);
    Values expected = IN_MEMORY;
    expected[0] = chosen_file_;
    EXPECT_STORED(expected);
    EXPECT_TRUE(prompt_shown());
    EXPECT_EQ(top_rows(), 0);
    EXPECT_EQ(test::main_window().tree.database_loaded, 0);
}

TEST_F(SetupDialogTest, DismissedChooserChangesNothing)
{
    store_behind_our_back(BEHIND_OUR_BACK);
    ASSERT_TRUE(wait_in_memory(BEHIND_OUR_BACK));
    ChooserAnswer answer{chosen_file_, GTK_RESPONSE_CANCEL};
    answer_next_chooser(&answer);
    choose_password_file(test::main_window().setup);

    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(values_in_memory(), BEHIND_OUR_BACK);
    EXPECT_STORED(BEHIND_OUR_BACK);
    EXPECT_FALSE(prompt_shown());
    EXPECT_EQ(test::main_window().tree.database_loaded, 1);
    EXPECT_EQ(test::row_text("0"), "Acme");
}

// Open file writes the path alone: templates stored elsewhere a moment before stay.
TEST_F(SetupDialogTest, FileChosenStoresOnlyThePath)
{
    NotFollowing late_news;
    store_behind_our_back(BEHIND_OUR_BACK);
    ChooserAnswer answer{chosen_file_, GTK_RESPONSE_OK};
    answer_next_chooser(&answer);
    choose_password_file(test::main_window().setup);

    ASSERT_TRUE(answer.answered);
    Values expected = BEHIND_OUR_BACK;
    expected[0] = chosen_file_;
    EXPECT_STORED(expected);
    EXPECT_EQ(test::main_window().settings.values.password_file_path, chosen_file_);
}

TEST_F(SetupDialogTest, FileChosenInsideSetupStaysWhenSetupIsCancelled)
{
    struct Seen {
        ChooserAnswer answer;
        std::string entry_after_choice;
        Values stored_after_choice;
        bool prompt_after_choice = false;
        int rows_after_choice = -1;
    };
    Seen seen;
    seen.answer = ChooserAnswer{chosen_file_, GTK_RESPONSE_OK};

    run_setup([&seen](GtkWidget*, const SetupWidgets& w) {
        // The template edit is the dialog's own and goes with Cancel; the chosen file does not.
        gtk_entry_set_text(GTK_ENTRY(w.entry_by_label.at("SSH command")), "edited ssh");
        answer_next_chooser(&seen.answer);
        gtk_button_clicked(GTK_BUTTON(w.open_button));
        // Everything the choice does has happened while Setup is still open.
        seen.entry_after_choice = gtk_entry_get_text(GTK_ENTRY(w.file_entry));
        seen.stored_after_choice = stored_in_dconf();
        seen.prompt_after_choice = prompt_shown();
        seen.rows_after_choice = top_rows();
        return GTK_RESPONSE_CANCEL;
    });

    ASSERT_TRUE(seen.answer.answered);
    EXPECT_EQ(seen.answer.parent, GTK_WINDOW(test::main_window().window)) << "the chooser's parent is the main window";
    EXPECT_EQ(seen.entry_after_choice, chosen_file_);
    Values expected = IN_MEMORY;
    expected[0] = chosen_file_;
    EXPECT_EQ(seen.stored_after_choice, expected);
    EXPECT_TRUE(seen.prompt_after_choice);
    EXPECT_EQ(seen.rows_after_choice, 0);

    EXPECT_EQ(values_in_memory(), expected);
    EXPECT_STORED(expected);
    EXPECT_EQ(test::main_window().setup.file_entry, nullptr);
}

// What the chooser looks like when it comes up, read from inside its loop.
struct ChooserAtStart {
    std::string selected;
    std::string folder;
    std::vector<std::string> filters;
    std::string active_filter;
    std::map<std::string, bool> encrypted_filter_shows;
};

// Opens the chooser on the path in use, waits until it shows `expected_selection` (the folder loads in
// the background), reads what it shows and dismisses it.
ChooserAtStart open_chooser_and_look(const std::string& expected_selection)
{
    struct Data {
        std::string expected;
        ChooserAtStart seen;
    } data{expected_selection, {}};
    respond_in_nested_loop(
        [](GtkWidget* dialog, void* user) {
            auto* d = static_cast<Data*>(user);
            GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
            test::wait_until([&] {
                GCharPtr now{gtk_file_chooser_get_filename(chooser)};
                return d->expected.empty() || (now && d->expected == now.get());
            });
            GCharPtr selected{gtk_file_chooser_get_filename(chooser)};
            GCharPtr folder{gtk_file_chooser_get_current_folder(chooser)};
            d->seen.selected = selected ? selected.get() : "";
            d->seen.folder = folder ? folder.get() : "";
            GSList* filters = gtk_file_chooser_list_filters(chooser);
            for (GSList* item = filters; item; item = item->next)
                d->seen.filters.push_back(gtk_file_filter_get_name(GTK_FILE_FILTER(item->data)));
            if (filters) {
                GtkFileFilter* encrypted = GTK_FILE_FILTER(filters->data);
                for (const char* name : {"a.gpg", "b.asc", "c.pgp", "D.GPG", "notes.txt", "gpg"}) {
                    GtkFileFilterInfo info{};
                    info.contains =
                        static_cast<GtkFileFilterFlags>(GTK_FILE_FILTER_FILENAME | GTK_FILE_FILTER_DISPLAY_NAME);
                    info.filename = name;
                    info.display_name = name;
                    d->seen.encrypted_filter_shows[name] = gtk_file_filter_filter(encrypted, &info);
                }
            }
            g_slist_free(filters);
            GtkFileFilter* active = gtk_file_chooser_get_filter(chooser);
            d->seen.active_filter = active ? gtk_file_filter_get_name(active) : "";
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
        },
        &data);
    choose_password_file(test::main_window().setup);
    return data.seen;
}

// The chooser comes up in the folder of the password file in use with that file selected, whatever
// bytes its name has; encrypted files are offered first, all files beside them.
TEST_F(SetupDialogTest, ChooserStartsAtTheCurrentFileWithAFilterForEncryptedFiles)
{
    const std::string folder = std::string(std::getenv("SEALKEEP_SCRATCH")) + "/d\xe9p\xf4t";
    ASSERT_EQ(g_mkdir_with_parents(folder.c_str(), 0700), 0);
    struct Case {
        std::string file;
        std::string selected;
        std::string folder;
        std::string active_filter;
    };
    const std::string latin1 = folder + "/caf\xe9.gpg";
    const std::string plain = folder + "/notes.txt";
    std::ofstream(latin1) << "x";
    std::ofstream(plain) << "x";
    const Case cases[] = {
        {latin1, latin1, folder, "Encrypted files (*.gpg, *.asc, *.pgp)"},
        // A file of another kind stays visible: all files are shown.
        {plain, plain, folder, "All files"},
        // A file that is gone: its folder (what the toolkit selects there is its own choice).
        {folder + "/gone.gpg", "", folder, "Encrypted files (*.gpg, *.asc, *.pgp)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        test::main_window().settings.values.password_file_path = c.file;
        ChooserAtStart seen = open_chooser_and_look(c.selected);
        if (!c.selected.empty()) {
            EXPECT_EQ(seen.selected, c.selected);
        }
        EXPECT_EQ(seen.folder, c.folder);
        EXPECT_EQ(seen.filters, (std::vector<std::string>{"Encrypted files (*.gpg, *.asc, *.pgp)", "All files"}));
        EXPECT_EQ(seen.active_filter, c.active_filter);
        const std::map<std::string, bool> shows{{"a.gpg", true}, {"b.asc", true},      {"c.pgp", true},
                                                {"D.GPG", true}, {"notes.txt", false}, {"gpg", false}};
        EXPECT_EQ(seen.encrypted_filter_shows, shows);
    }
}

// A file name that is no UTF-8, chosen in the chooser: used and stored as its bytes, shown in Setup in
// GLib's display form, and an OK that changes a template leaves it as it is.
TEST_F(SetupDialogTest, NonUtf8FileNameIsKeptAsItsBytesAndShownInDisplayForm)
{
    const std::string latin1 = std::string(std::getenv("SEALKEEP_SCRATCH")) + "/caf\xe9 \xff.gpg";
    std::ofstream(latin1) << "x";
    ChooserAnswer answer{latin1, GTK_RESPONSE_OK};
    answer_next_chooser(&answer);
    choose_password_file(test::main_window().setup);
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(test::main_window().settings.values.password_file_path, latin1);
    EXPECT_EQ(path_of_stored_form(stored_in_dconf()[0]), latin1);
    EXPECT_EQ(load_settings(test::main_window().settings.object.get()).password_file_path, latin1);

    std::string shown;
    run_setup([&shown](GtkWidget*, const SetupWidgets& w) {
        shown = gtk_entry_get_text(GTK_ENTRY(w.file_entry));
        gtk_entry_set_text(GTK_ENTRY(w.entry_by_label.at("SSH command")), "ssh %h");
        return GTK_RESPONSE_OK;
    });
    GCharPtr display{g_filename_display_name(latin1.c_str())};
    EXPECT_EQ(shown, display.get());
    EXPECT_NE(shown.find("caf"), std::string::npos);
    EXPECT_EQ(test::main_window().settings.values.password_file_path, latin1);
    EXPECT_EQ(path_of_stored_form(stored_in_dconf()[0]), latin1);
}

} // namespace
} // namespace sealkeep
