// A small, complete data folder for tests that run the scene set-up or the
// whole start-up: every file the production opens, under the names it uses
// (solid-colour JPEGs written with libjpeg-turbo's cjpeg, one-quad meshes,
// trivial shader sources but the backdrop's real one, a 3-frame outline
// shape, a 40-record camera track).
// Header-only: tests that do not include it do not link it.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scenes/scene_assets.h"

namespace show_data {

struct rgb {
    uint8_t r, g, b;
};

// Colours of the fixture's images, as written (JPEG keeps solid colours
// within a few levels).
constexpr rgb loading_colour = {230, 120, 20};
constexpr rgb paper_colour = {200, 190, 170};
constexpr rgb blob_colour = {40, 200, 90};

// Outline shape and track sizes of the fixture.
constexpr int outline_frames = 3;
constexpr int outline_shapes_per_frame = 2;
constexpr int track_records = 40;

// The meshes, where the set-up reads them.
inline const std::vector<std::string>& mesh_files() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> out;
        for (const scene_model_file& entry : scene_model_files)
            out.push_back(scene_file_path(entry.file));
        return out;
    }();
    return files;
}

inline bool write_bytes(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

inline bool write_jpeg(const std::filesystem::path& file, rgb colour, int width = 64, int height = 64) {
    const std::filesystem::path ppm = file.string() + ".ppm";
    std::string image = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (int k = 0; k < width * height; ++k)
        image += {char(colour.r), char(colour.g), char(colour.b)};
    if (!write_bytes(ppm, image)) return false;
    const std::string command =
        "cjpeg -quality 95 -outfile '" + file.string() + "' '" + ppm.string() + "' >/dev/null 2>&1";
    const bool ok = std::system(command.c_str()) == 0;
    std::filesystem::remove(ppm);
    return ok && std::filesystem::exists(file);
}

template <typename T> void put(std::string& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T)); // the test machines are little-endian, like the files
    out.append(bytes, sizeof(T));
}

// One triangle per shape.
inline std::string outline_bytes() {
    std::string out;
    for (int32_t v : {outline_frames, 0, 0, outline_shapes_per_frame})
        put(out, v);
    for (int s = 0; s < outline_frames * outline_shapes_per_frame; ++s) {
        put<int32_t>(out, 1);
        put<int32_t>(out, 3);
        put<double>(out, 1.0);
        for (int16_t v : {0, 0, 30000, 0, 0, 30000})
            put(out, v);
    }
    return out;
}

inline std::string track_bytes() {
    std::string out;
    for (int k = 0; k < track_records; ++k) {
        put<float>(out, 0.1f * k);
        put<float>(out, 0.02f * k);
        put<float>(out, 1.0f);
        put<double>(out, 0.5);
        put<double>(out, -0.5);
    }
    return out;
}

// Makes the folder under `root`; false with a reason when a file cannot be
// made (no cjpeg).
inline bool make(const std::filesystem::path& root, std::string& why, bool with_outline_and_track = true) {
    std::filesystem::remove_all(root);
    if (!write_jpeg(root / "textures/loading.jpg", loading_colour) ||
        !write_jpeg(root / "textures/paper 1a.jpg", paper_colour) ||
        !write_jpeg(root / "textures/blob41b.jpg", blob_colour)) {
        why = "cannot write JPEG files with cjpeg (libjpeg-turbo-progs)";
        return false;
    }
    const std::string quad = "o quad\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1// 2// 3// 4//\n";
    for (const std::string& mesh : mesh_files())
        write_bytes(root / mesh, quad);
    write_bytes(
        root / "cgeffects/vertex_0",
        "uniform mat4 ModelViewProj;\nuniform mat4 ModelViewLightProj;\nuniform mat4 ModelViewObject;\n"
        "void main() { gl_Position = ModelViewProj * gl_Vertex; }\n");
    const std::string fragment = "void main() { gl_FragColor = vec4(1.0); }\n";
    for (const char* name : {"cgeffects/f_0", "cgeffects/fragment_bend3", "cgeffects/fragment_wireframe"})
        write_bytes(root / name, fragment);
    // The backdrop's programs are the show's own: the set-up chooses what
    // each draws with its defines.
    std::filesystem::copy_file(std::filesystem::path(QUORLAXEN_SOURCE_DIR) /
                                   "data/cgeffects/backdrop_squares",
                               root / "cgeffects/backdrop_squares");
    if (with_outline_and_track) {
        write_bytes(root / "meshes/test1.rtt", outline_bytes());
        write_bytes(root / "meshes/try1.sav", track_bytes());
    }
    return true;
}

// A folder of its own under the test temp folder: test processes run side by
// side (ctest -j, other build folders) and must not share one.
inline std::filesystem::path private_folder(const std::string& stem) {
    return std::filesystem::path(testing::TempDir()) / (stem + "_" + std::to_string(getpid()));
}

// Runs with `folder` as the working directory while alive.
class scoped_directory {
  public:
    explicit scoped_directory(const std::filesystem::path& folder) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~scoped_directory() { std::filesystem::current_path(saved_); }
    scoped_directory(const scoped_directory&) = delete;
    scoped_directory& operator=(const scoped_directory&) = delete;

  private:
    std::filesystem::path saved_;
};

} // namespace show_data
