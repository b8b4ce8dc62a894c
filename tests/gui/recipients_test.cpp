// Change passphrase… on a file encrypted to keys, with a real keyring: the recipients dialog shows the
// file's recipients and the keyring's keys that can encrypt, and the save goes to exactly the keys
// chosen there (each checked by decrypting with that key alone).
#include "gui_support.h"

#include "ui/file/load_job.h"
#include "ui/file/save_job.h"
#include "ui/window/document_events.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

namespace sealkeep {
namespace {

namespace fs = std::filesystem;

const std::string PLAINTEXT = test::record_line("Acme;web;srv1;ssh;22;alice;pw-a") + "\n";

void gpg(const std::string& arguments)
{
    const std::string command = "gpg --batch --yes --quiet " + arguments + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

GtkWidget* named(GtkWidget* top, const char* name)
{
    std::vector<GtkWidget*> pending{top};
    while (!pending.empty()) {
        GtkWidget* w = pending.back();
        pending.pop_back();
        if (std::string(gtk_widget_get_name(w)) == name)
            return w;
        if (GTK_IS_CONTAINER(w))
            for (GtkWidget* child : test::child_widgets(w))
                pending.push_back(child);
    }
    return nullptr;
}

std::vector<std::string> rows(GtkWidget* view)
{
    std::vector<std::string> texts;
    GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(view));
    GtkTreeIter iter;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter)) {
        gchar* text = nullptr;
        gtk_tree_model_get(model, &iter, 0, &text, -1);
        texts.push_back(text ? text : "");
        g_free(text);
    }
    return texts;
}

// Selects the row whose text begins with `start` and clicks `button`; false when there is none.
bool pick(GtkWidget* view, const std::string& start, GtkWidget* button)
{
    GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(view));
    GtkTreeIter iter;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter)) {
        gchar* text = nullptr;
        gtk_tree_model_get(model, &iter, 0, &text, -1);
        const bool match = text && std::string(text).starts_with(start);
        g_free(text);
        if (match) {
            gtk_tree_selection_select_iter(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), &iter);
            test::drain_events();
            gtk_button_clicked(GTK_BUTTON(button));
            test::drain_events();
            return true;
        }
    }
    return false;
}

struct Seen {
    std::vector<std::string> recipients;   // as the dialog opened
    std::vector<std::string> keyring;      // as the dialog opened
    bool ok_without_recipient = true;
    std::string message_without_recipient;
    std::vector<std::string> keyring_without_recipient;
    bool steps_done = false;
};

// Removes both recipients (the unknown Bob and Alice), adds Alice back and Carol, and presses OK.
void edit_recipients(GtkWidget* dialog, void* data)
{
    auto& seen = *static_cast<Seen*>(data);
    GtkWidget* chosen = named(dialog, "recipients");
    GtkWidget* keyring = named(dialog, "keyring");
    GtkWidget* add = named(dialog, "add");
    GtkWidget* remove = named(dialog, "remove");
    GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    if (!chosen || !keyring || !add || !remove || !ok)
        return gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    seen.recipients = rows(chosen);
    seen.keyring = rows(keyring);
    const bool removed = pick(chosen, "Key ", remove) && pick(chosen, "Alice", remove);
    seen.ok_without_recipient = gtk_widget_is_sensitive(ok);
    seen.keyring_without_recipient = rows(keyring);
    for (GtkWidget* w : test::child_widgets(gtk_widget_get_parent(gtk_widget_get_parent(chosen))))
        if (GTK_IS_LABEL(w) && !gtk_label_get_mnemonic_widget(GTK_LABEL(w)))
            seen.message_without_recipient = gtk_label_get_text(GTK_LABEL(w));
    seen.steps_done = removed && pick(keyring, "Alice", add) && pick(keyring, "Carol", add);
    gtk_button_clicked(GTK_BUTTON(ok));
}

std::string test_home()
{
    char pattern[] = "/tmp/g.XXXXXX";
    return mkdtemp(pattern) ? pattern : "/tmp/g.none";
}

// Who can open the file: each exported secret key alone in a home of its own.
bool opens(const std::string& key_file, const std::string& path, const std::string& plaintext_file)
{
    const std::string home = test_home();
    const std::string command = "GNUPGHOME='" + home + "' gpg --batch --quiet --import '" + key_file +
                                "' >/dev/null 2>&1 && GNUPGHOME='" + home + "' gpg --batch --quiet --pinentry-mode loopback "
                                "--passphrase '' --decrypt '" + path + "' 2>/dev/null | cmp -s - '" + plaintext_file + "'";
    const int status = std::system(command.c_str());
    (void)!std::system(("GNUPGHOME='" + home + "' gpgconf --kill gpg-agent >/dev/null 2>&1; rm -rf '" + home + "'").c_str());
    return status == 0;
}

TEST(Recipients, ChangePassphraseOnAKeyFileEditsItsRecipientsAndSavesToThem)
{
    MainWindow& main = test::main_window();
    test::GnupgHome home;
    for (const char* name : {"Alice", "Bob", "Carol"}) {
        const std::string lower = name == std::string("Alice") ? "alice" : name == std::string("Bob") ? "bob" : "carol";
        gpg("--pinentry-mode loopback --passphrase '' --quick-gen-key '" + std::string(name) + " <" + lower +
            "@example.org>' future-default default never");
        gpg("--pinentry-mode loopback --passphrase '' --export-secret-keys -o '" + home.path() + "/" + lower +
            ".key' " + lower + "@example.org");
    }
    // A key that only signs is no candidate.
    gpg("--pinentry-mode loopback --passphrase '' --quick-gen-key 'Dave <dave@example.org>' ed25519 sign never");
    const std::string path = home.path() + "/accounts.gpg";
    const std::string plain = home.path() + "/plain";
    std::ofstream(plain, std::ios::binary) << PLAINTEXT;
    gpg("--trust-model always -r alice@example.org -r bob@example.org -o '" + path + "' -e '" + plain + "'");
    main.settings.values.password_file_path = path;
    start_load(main, "");
    ASSERT_TRUE(test::wait_for_load());
    ASSERT_TRUE(main.file.loaded_file);
    ASSERT_EQ(main.file.loaded_file->recipients.size(), 2u);
    // Bob's key leaves the keyring: the file still names him, the keyring no longer knows him.
    gpg("--delete-secret-and-public-key $(gpg --batch --with-colons --list-keys bob@example.org | "
        "awk -F: '$1==\"fpr\"{print $10; exit}')");

    Seen seen;
    test::respond_in_nested_loop(edit_recipients, &seen);
    change_passphrase(main.file);
    // The keyring is listed beside the main loop; the dialog, and the save after it, come later.
    ASSERT_TRUE(test::wait_until([&] { return seen.steps_done && !save_running(main.file); }));
    test::drain_events();

    ASSERT_EQ(seen.recipients.size(), 2u);
    const auto line = [](const std::string& text, int n) {
        std::size_t start = 0;
        for (int i = 0; i < n; ++i)
            start = text.find('\n', start) + 1;
        return text.substr(start, text.find('\n', start) - start);
    };
    const std::string alice_text = seen.recipients[0].starts_with("Alice") ? seen.recipients[0] : seen.recipients[1];
    const std::string bob_text = seen.recipients[0].starts_with("Alice") ? seen.recipients[1] : seen.recipients[0];
    EXPECT_EQ(line(alice_text, 0), "Alice <alice@example.org>");
    EXPECT_EQ(line(alice_text, 1).size(), 49u) << "the fingerprint in groups of four: " << alice_text;
    EXPECT_TRUE(bob_text.starts_with("Key ")) << bob_text;
    EXPECT_EQ(line(bob_text, 1), "This key is not in your keyring.");
    ASSERT_EQ(seen.keyring.size(), 1u) << "Carol alone: Alice is a recipient, Bob is gone, Dave cannot encrypt";
    EXPECT_TRUE(seen.keyring[0].starts_with("Carol <carol@example.org>\n"));
    EXPECT_FALSE(seen.ok_without_recipient);
    EXPECT_EQ(seen.message_without_recipient, "At least one recipient is needed.");
    EXPECT_EQ(seen.keyring_without_recipient.size(), 2u) << "Alice is offered again";
    EXPECT_TRUE(seen.steps_done);

    EXPECT_EQ(test::status_text(), "Saved accounts.gpg.");
    EXPECT_TRUE(opens(home.path() + "/alice.key", path, plain));
    EXPECT_TRUE(opens(home.path() + "/carol.key", path, plain));
    EXPECT_FALSE(opens(home.path() + "/bob.key", path, plain)) << "a removed recipient cannot open the saved file";
    EXPECT_TRUE(opens(home.path() + "/bob.key", path + "~", plain)) << "the previous version still opens for him";
    ASSERT_TRUE(main.file.loaded_file);
    EXPECT_EQ(main.file.loaded_file->recipients.size(), 2u);
    // Alice was removed and added again: both are named by the fingerprints the keyring gave.
    for (const std::string& recipient : main.file.loaded_file->recipients)
        EXPECT_EQ(recipient.size(), 40u) << recipient;

    test::load_fixture({});
    test::drain_events();
}

} // namespace
} // namespace sealkeep
