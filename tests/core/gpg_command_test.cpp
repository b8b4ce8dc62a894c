// gpg's argument vector: every file name must reach gpg whole, as one operand, and never as an option.
#include "core/gpg_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sealkeep {
namespace {

using namespace std::string_literals;

const std::vector<std::string> AWKWARD_PATHS = {
    "/home/a/.sealkeep/accounts.gpg",
    "/tmp/my  files/a b.gpg",
    "say \"hi\" 'there'.gpg",
    "$HOME$(touch pwned)${PATH}",
    "`id`.gpg",
    "back\\slash\\",
    "-n",
    "--version",
    "new\nline.gpg",
    "caf\xe9\xff\xfe.gpg",
    "'*?~!;&|<>#",
    "~/tilde.gpg",
    "",
};

TEST(GpgArguments, FixedOptionsThenThePathAfterDoubleDash)
{
    EXPECT_EQ(gpg_arguments("/opt/gpg", 4, 3, "/x/y.gpg"),
              (std::vector<std::string>{"/opt/gpg", "--batch", "--no-tty", "--pinentry-mode", "loopback",
                                        "--no-symkey-cache", "--status-fd", "4", "--passphrase-fd", "3", "--decrypt",
                                        "--", "/x/y.gpg"}));
    const auto large = gpg_arguments("gpg", 123456, 7, "p");
    EXPECT_EQ(large[7], "123456");
    EXPECT_EQ(large[9], "7");
}

TEST(GpgArguments, PathIsTheLastArgumentUnchanged)
{
    for (const auto& path : AWKWARD_PATHS) {
        const auto arguments = gpg_arguments("gpg", 4, 3, path);
        ASSERT_EQ(arguments.size(), 13u) << path;
        EXPECT_EQ(arguments[11], "--") << path;
        EXPECT_EQ(arguments[12], path) << path;
    }
}

// Executed for real, a program sees the path as its last operand byte for byte, and nothing runs.
TEST(GpgArguments, PathReachesTheProgramWhole)
{
    char dir_template[] = "/tmp/ga.XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    const std::string dir = dir_template;
    const std::string program = dir + "/last-argument";
    std::ofstream(program) << "#!/bin/sh\nfor a; do last=$a; done\nprintf %s \"$last\" > \"" << dir << "/got\"\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);

    for (const auto& path : AWKWARD_PATHS) {
        const auto arguments = gpg_arguments(program, 4, 3, path);
        std::vector<char*> argv;
        for (const auto& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << path;

        std::ifstream in(dir + "/got", std::ios::binary);
        const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(got, path);
        EXPECT_FALSE(std::filesystem::exists(dir + "/pwned")) << path;
    }
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace sealkeep
