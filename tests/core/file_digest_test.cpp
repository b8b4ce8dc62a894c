// The file digest against the standard's own examples and against coreutils' sha256sum, over lengths
// around the 64-byte block and its padding, so that a fault in either way of doing the blocks (the
// processor's SHA instructions or the plain rounds) shows.
#include "core/file_digest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace sealkeep {
namespace {

TEST(FileDigest, TheStandardsExamples)
{
    const struct {
        std::string data;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sha256_hex(c.data), c.digest) << c.data.size() << " bytes";
}

TEST(FileDigest, AgreesWithSha256sumOnFilesOfEveryAwkwardLength)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "sealkeep-digest-test";
    std::filesystem::create_directories(dir);
    std::mt19937 random(7);
    for (std::size_t size : {1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 127u, 128u, 4095u, 65536u, 65537u, 300001u}) {
        std::string bytes(size, '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(random());
        const std::string path = (dir / ("f" + std::to_string(size))).string();
        std::ofstream(path, std::ios::binary) << bytes;
        FILE* out = popen(("sha256sum '" + path + "'").c_str(), "r");
        char line[200] = {};
        ASSERT_NE(fgets(line, sizeof line, out), nullptr);
        pclose(out);
        const std::string expected(line, 64);
        EXPECT_EQ(file_digest(path), expected) << size << " bytes";
        EXPECT_EQ(sha256_hex(bytes), expected) << size << " bytes";
    }
    std::filesystem::remove_all(dir);
}

TEST(FileDigest, NoDigestOfWhatIsNoRegularFileOrWhenStopped)
{
    std::string error;
    EXPECT_FALSE(file_digest("/nonexistent/sealkeep", &error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(file_digest("/dev/null", &error));
    EXPECT_EQ(error, "not a regular file");
    const std::atomic<bool> stop{true};
    EXPECT_FALSE(file_digest("/etc/passwd", &error, &stop));
    EXPECT_EQ(error, "stopped");
    EXPECT_TRUE(file_digest("/etc/passwd"));
}

} // namespace
} // namespace sealkeep
