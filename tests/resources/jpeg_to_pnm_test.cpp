// The jpeg-to-pnm tool: the same pixels as the decoder, PPM for colour and
// PGM for grey, and exit status 1 with the error code for a broken file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

#include "jpeg_test_images.h"
#include "support/needs.h"

using namespace jpeg_test;

namespace {

const std::string tool = std::string(QUORLAXEN_BINARY_DIR) + "/tools/jpeg-to-pnm/jpeg-to-pnm";

std::string write_file(const std::string& name, const bytes& data) {
    std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), long(data.size()));
    return path;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the tool; returns its exit status, with its standard error in *errors.
int run_tool(const std::string& in, const std::string& out, std::string* errors) {
    std::string log = ::testing::TempDir() + "jpeg_to_pnm.log";
    std::string command = "'" + tool + "' '" + in + "' '" + out + "' 2>'" + log + "'";
    int status = std::system(command.c_str());
    *errors = read_file(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class jpeg_to_pnm : public ::testing::Test {
  protected:
    void SetUp() override {
        struct stat info {};
        QUORLAXEN_NEED(stat(tool.c_str(), &info) == 0, "jpeg-to-pnm is not built");
    }
};

TEST_F(jpeg_to_pnm, writes_the_decoders_pixels) {
    encode_options o;
    o.width = 19;
    o.height = 11;
    for (bool grey : {false, true}) {
        o.grey = grey;
        bytes jpeg = encode(o);
        image decoded = decode_ours(jpeg);
        std::string in = write_file("tool_in.jpg", jpeg), out = ::testing::TempDir() + "tool_out.pnm";
        std::string errors;
        ASSERT_EQ(run_tool(in, out, &errors), 0) << errors;
        std::string expected = std::string(grey ? "P5" : "P6") + "\n19 11\n255\n";
        for (const bytes& line : decoded.lines)
            for (int x = 0; x < 19; ++x) {
                if (grey) {
                    expected += char(line[size_t(x)]);
                } else {
                    for (int c = 0; c < 3; ++c)
                        expected += char(line[size_t(4 * x + c)]);
                }
            }
        EXPECT_EQ(read_file(out), expected) << (grey ? "grey" : "colour");
    }
}

TEST_F(jpeg_to_pnm, broken_file_prints_the_error_code_and_exits_1) {
    std::string in = write_file("tool_broken.jpg", bytes(40, 'z'));
    std::string errors;
    EXPECT_EQ(run_tool(in, ::testing::TempDir() + "tool_none.pnm", &errors), 1);
    EXPECT_NE(errors.find("-217"), std::string::npos) << errors;
    EXPECT_EQ(run_tool(in + ".missing", ::testing::TempDir() + "tool_none.pnm", &errors), 1);
}

} // namespace
