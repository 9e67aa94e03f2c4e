// forge-icons: the desktop icon, drawn from the title art at the usual
// icon-theme sizes, as OUT_DIR/SIZExSIZE/apps/quorlaxen.png.
//
// Usage: forge-icons OUT_DIR

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "images.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: forge-icons OUT_DIR\n");
        return 2;
    }
    try {
        const forge::canvas paper = forge::paper_picture();
        for (int size : {32, 48, 64, 128, 256}) {
            const std::string name = std::to_string(size) + "x" + std::to_string(size);
            const fs::path path = fs::path(argv[1]) / name / "apps" / "quorlaxen.png";
            fs::create_directories(path.parent_path());
            const forge::icon icon = forge::icon_picture(paper, size);
            const std::string bytes = forge::encode_png(icon.picture, icon.alpha);
            fs::path temp = path;
            temp += ".part";
            {
                std::ofstream out(temp, std::ios::binary | std::ios::trunc);
                out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
                if (!out) throw std::runtime_error("cannot write " + temp.string());
            }
            fs::rename(temp, path); // a half-written icon never carries the final name
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "forge-icons: %s\n", e.what());
        return 1;
    }
    return 0;
}
