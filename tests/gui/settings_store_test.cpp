// The password file's path in the settings store: any bytes go in and come back exactly, through real
// dconf, and what the key holds is text that gsettings and older versions read.
#include "core/settings_values.h"
#include "ui/glib_ptr.h"
#include "ui/settings/settings_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace sealkeep {
namespace {

std::string home()
{
    const char* value = std::getenv("HOME");
    return value ? value : "";
}

std::string current_dir()
{
    GCharPtr here{g_get_current_dir()};
    return here.get();
}

// Stores the path through a settings object of its own, and reads it back through a fresh one and as
// the text the key holds.
struct StoredPath {
    std::string text;
    std::string read_back;
};

StoredPath store_and_read(const std::string& path)
{
    {
        RefPtr<GSettings> writer = open_settings();
        SettingsValues values;
        values.password_file_path = path;
        save_settings(writer.get(), values, {&SettingsValues::password_file_path});
    }
    RefPtr<GSettings> reader = open_settings();
    GCharPtr text{g_settings_get_string(reader.get(), "sealkeep-file-path")};
    return {text.get(), load_settings(reader.get()).password_file_path};
}

TEST(StoredPath, AnyBytesComeBackExactlyAndTheKeyHoldsValidText)
{
    struct Case {
        const char* what;
        std::string path;
        std::string text;     // what the key holds
        std::string read_back; // the path that comes back
    };
    const Case cases[] = {
        {"UTF-8 stays readable", "/srv/café passwords.gpg", "/srv/café passwords.gpg", "/srv/café passwords.gpg"},
        {"~/ stays for the home", "~/.sealkeep/accounts.gpg", "~/.sealkeep/accounts.gpg", "~/.sealkeep/accounts.gpg"},
        {"a relative UTF-8 path stays", "accounts.gpg", "accounts.gpg", "accounts.gpg"},
        {"Latin-1", "/srv/caf\xe9.gpg", "file:///srv/caf%E9.gpg", "/srv/caf\xe9.gpg"},
        {"bytes of no encoding, with % and blanks", "/tmp/\x80\xff 100%.gpg", "file:///tmp/%80%FF%20100%25.gpg",
         "/tmp/\x80\xff 100%.gpg"},
        {"Latin-1 under ~/ becomes absolute", "~/caf\xe9.gpg", "file://" + home() + "/caf%E9.gpg",
         home() + "/caf\xe9.gpg"},
        {"relative Latin-1 becomes absolute", "caf\xe9.gpg", "file://" + current_dir() + "/caf%E9.gpg",
         current_dir() + "/caf\xe9.gpg"},
        {"a UTF-8 path that looks like a URI", "/file://x.gpg", "/file://x.gpg", "/file://x.gpg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StoredPath stored = store_and_read(c.path);
        EXPECT_TRUE(g_utf8_validate(stored.text.c_str(), -1, nullptr));
        EXPECT_EQ(stored.text, c.text);
        EXPECT_EQ(stored.read_back, c.read_back);
    }
}

// The rule reads values that earlier versions stored, and values typed by hand.
TEST(StoredPath, ReadsPlainPathsAndFileUrisTypedByHand)
{
    struct Case {
        const char* stored;
        std::string path;
    };
    const Case cases[] = {
        {"/home/me/.sealkeep/accounts.gpg", "/home/me/.sealkeep/accounts.gpg"},
        {"~/.sealkeep/accounts.gpg", "~/.sealkeep/accounts.gpg"},
        {"file:///srv/caf%C3%A9.gpg", "/srv/caf\xc3\xa9.gpg"},
        {"file:///srv/caf%e9.gpg", "/srv/caf\xe9.gpg"},
        {"file://localhost/srv/x.gpg", "/srv/x.gpg"},
        // Not a URI GLib can read: still somebody's path, used as it stands.
        {"file://remote-host/x.gpg", "file://remote-host/x.gpg"},
        {"file:///bad%zz.gpg", "file:///bad%zz.gpg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(path_of_stored_form(c.stored), c.path);
    }
    // A path that begins with "file://" itself is stored as a URI, so that it reads back as itself.
    const std::string odd = "file://x/caf\xe9";
    EXPECT_EQ(path_of_stored_form(stored_form_of_path(odd)), current_dir() + "/" + odd);
    EXPECT_EQ(path_of_stored_form(stored_form_of_path("file://y")), current_dir() + "/file://y");
}

} // namespace
} // namespace sealkeep
