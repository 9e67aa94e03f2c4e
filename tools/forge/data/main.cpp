// forge-data: writes every mesh, texture, the camera track and the outline
// shape the show reads into a show folder. The output depends on nothing but
// this program, so two runs give byte-identical files.
//
// Usage: forge-data SHOW_DIR [--list]
//   --list  print the files it writes (relative to SHOW_DIR) and stop.

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "images.h"
#include "meshes.h"
#include "records.h"

namespace fs = std::filesystem;

namespace {

// The file system folds the doubled slashes of the show's names.
std::string on_disk(const std::string& name) {
    std::string out;
    for (char c : name)
        if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
    return out;
}

void write_file(const fs::path& root, const std::string& name, const std::string& bytes) {
    fs::path path = root / on_disk(name);
    fs::create_directories(path.parent_path());
    fs::path temp = path;
    temp += ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + temp.string());
    }
    // Replace in one step, so a reader never sees half a file.
    fs::rename(temp, path);
}

const std::vector<std::string> other_files = {"textures/paper 1a.jpg", "textures/blob41b.jpg",
                                              "textures/loading.jpg", "meshes/try1.sav", "meshes//test1.rtt"};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::string(argv[2]) != "--list")) {
        std::fprintf(stderr, "usage: forge-data SHOW_DIR [--list]\n");
        return 2;
    }
    try {
        auto start = std::chrono::steady_clock::now();
        fs::path root = argv[1];
        std::vector<forge::mesh_file> meshes = forge::build_meshes();
        if (argc == 3) {
            for (const auto& m : meshes)
                std::printf("%s\n", on_disk(m.name).c_str());
            for (const auto& f : other_files)
                std::printf("%s\n", on_disk(f).c_str());
            return 0;
        }
        size_t faces = 0;
        for (const auto& m : meshes) {
            write_file(root, m.name, forge::to_obj(m.shape, on_disk(m.name)));
            for (const auto& g : m.shape.groups)
                faces += g.faces.size();
        }
        forge::canvas paper = forge::paper_picture();
        write_file(root, "textures/paper 1a.jpg", forge::paper_file(paper));
        write_file(root, "textures/blob41b.jpg", forge::blob_file());
        write_file(root, "textures/loading.jpg", forge::loading_file(paper));
        write_file(root, "meshes/try1.sav", forge::camera_track_file());
        write_file(root, "meshes//test1.rtt", forge::outline_shape_file());
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("forge-data: %zu meshes (%zu faces), 3 textures, camera track, outline shape in %.2f s\n",
                    meshes.size(), faces, seconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "forge-data: %s\n", e.what());
        return 1;
    }
    return 0;
}
