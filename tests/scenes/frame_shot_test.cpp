// The frame-shot program end to end: a small data folder, the real
// start-up, PNG files of the requested size, and its refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

#include "support/show_data.h"

namespace {

namespace fs = std::filesystem;

const std::string program = QUORLAXEN_BINARY_DIR "/tools/frame-shot/frame-shot";

int run(const std::string& arguments, std::string* output = nullptr) {
    const std::string command = program + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[512];
    std::string text;
    while (fgets(buffer, sizeof buffer, pipe))
        text += buffer;
    const int status = pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Width and height from a PNG's header chunk; false when it is not a PNG.
bool png_size(const fs::path& file, unsigned& width, unsigned& height) {
    std::ifstream in(file, std::ios::binary);
    unsigned char header[24] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (std::memcmp(header, signature, 8) != 0 || std::memcmp(header + 12, "IHDR", 4) != 0) return false;
    width = unsigned(header[16]) << 24 | unsigned(header[17]) << 16 | unsigned(header[18]) << 8 | header[19];
    height = unsigned(header[20]) << 24 | unsigned(header[21]) << 16 | unsigned(header[22]) << 8 | header[23];
    return true;
}

class frame_shot : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(program)) GTEST_SKIP() << "frame-shot is not built";
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
        root = fs::path(::testing::TempDir()) / "frame_shot_test";
        std::string why;
        if (!show_data::make(root / "show", why)) GTEST_SKIP() << why;
        fs::copy_file(QUORLAXEN_SOURCE_DIR "/data/cgeffects/fragment_bend3",
                      root / "show/cgeffects/fragment_bend3", fs::copy_options::overwrite_existing);
        fs::create_directories(root / "out");
    }
    fs::path root;
};

} // namespace

TEST_F(frame_shot, writes_one_png_per_time_at_the_requested_size) {
    std::string output;
    ASSERT_EQ(run("--show '" + (root / "show").string() + "' --out '" + (root / "out").string() +
                      "' --size 160x90 0 12.5",
                  &output),
              0)
        << output;
    for (const char* name : {"frame-000.000.png", "frame-012.500.png"}) {
        unsigned width = 0, height = 0;
        ASSERT_TRUE(png_size(root / "out" / name, width, height)) << name << "\n" << output;
        EXPECT_EQ(width, 160u);
        EXPECT_EQ(height, 90u);
    }
}

TEST_F(frame_shot, refuses_bad_arguments_and_a_missing_show_folder) {
    std::string output;
    EXPECT_EQ(run("", &output), 2);
    EXPECT_EQ(run("--size 0x10 5", &output), 2);
    EXPECT_EQ(run("abc", &output), 2);
    EXPECT_EQ(run("-3", &output), 2);
    EXPECT_EQ(run("--show '" + (root / "nothing").string() + "' 5", &output), 1);
    EXPECT_NE(output.find("cannot enter the show folder"), std::string::npos) << output;
}
