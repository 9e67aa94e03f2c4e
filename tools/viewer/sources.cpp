#include <fstream>
#include <sstream>
#include <system_error>

#include "viewer.h"

namespace viewer {
namespace {

namespace fs = std::filesystem;

std::vector<source_watch::file> look(const std::string& folder) {
    std::vector<source_watch::file> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code file_ec;
        if (!it->is_regular_file(file_ec)) continue;
        source_watch::file f;
        f.name = it->path().filename().string();
        f.time = it->last_write_time(file_ec);
        f.size = it->file_size(file_ec);
        if (!file_ec) files.push_back(f);
    }
    return files;
}

const source_watch::file* find(const std::vector<source_watch::file>& files, const std::string& name) {
    for (const source_watch::file& f : files)
        if (f.name == name) return &f;
    return nullptr;
}

bool same_stamp(const source_watch::file* a, const source_watch::file& b) {
    return a && a->time == b.time && a->size == b.size;
}

std::string text_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

void watch_folder(source_watch& w, const std::string& folder) {
    w.folder = folder;
    w.files = w.seen = look(folder);
    for (source_watch::file& f : w.files)
        f.text = text_of(folder + "/" + f.name);
    w.last_look = std::chrono::steady_clock::now();
}

// A file counts once it looked the same twice in a row (an editor that is
// still writing it is not read half-way) and its text is new: a build that
// copies the sources again changes nothing.
std::vector<std::string> changed_sources(source_watch& w) {
    const auto now = std::chrono::steady_clock::now();
    if (now - w.last_look < std::chrono::milliseconds(250)) return {};
    w.last_look = now;
    std::vector<source_watch::file> files = look(w.folder);
    std::vector<std::string> changed;
    for (const source_watch::file& f : files) {
        if (!same_stamp(find(w.seen, f.name), f) || same_stamp(find(w.files, f.name), f)) continue;
        source_watch::file now_known = f;
        now_known.text = text_of(w.folder + "/" + f.name);
        const source_watch::file* before = find(w.files, f.name);
        if (!before || before->text != now_known.text) changed.push_back(w.folder + "/" + f.name);
        bool known = false;
        for (source_watch::file& k : w.files)
            if (k.name == f.name) k = now_known, known = true;
        if (!known) w.files.push_back(now_known);
    }
    w.seen = std::move(files);
    return changed;
}

} // namespace viewer
