#include "score.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace forge_music {

tempo_map make_tempo_map(const std::vector<span>& spans, double end_time) {
    if (spans.empty()) throw notation_error("tempo map: no spans");
    tempo_map map;
    double beat = 0;
    for (size_t i = 0; i < spans.size(); ++i) {
        double next = i + 1 < spans.size() ? spans[i + 1].start : end_time;
        if (!(next > spans[i].start))
            throw notation_error("tempo map: span at " + std::to_string(spans[i].start) +
                                 " s does not end after it starts");
        if (spans[i].beats <= 0)
            throw notation_error("tempo map: span at " + std::to_string(spans[i].start) + " s has no beats");
        map.time.push_back(spans[i].start);
        map.beat.push_back(beat);
        beat += spans[i].beats;
    }
    map.time.push_back(end_time);
    map.beat.push_back(beat);
    return map;
}

namespace {
// Index of the span (pair of anchors i, i+1) used for `value` on `axis`.
size_t span_index(const std::vector<double>& axis, double value) {
    auto it = std::upper_bound(axis.begin(), axis.end(), value);
    size_t i = it == axis.begin() ? 0 : size_t(it - axis.begin()) - 1;
    return std::min(i, axis.size() - 2);
}
} // namespace

double seconds_at(const tempo_map& map, double beat) {
    size_t i = span_index(map.beat, beat);
    double f = (beat - map.beat[i]) / (map.beat[i + 1] - map.beat[i]);
    return map.time[i] + f * (map.time[i + 1] - map.time[i]);
}

double beat_at(const tempo_map& map, double seconds) {
    size_t i = span_index(map.time, seconds);
    double f = (seconds - map.time[i]) / (map.time[i + 1] - map.time[i]);
    return map.beat[i] + f * (map.beat[i + 1] - map.beat[i]);
}

double tempo_at(const tempo_map& map, double beat) {
    size_t i = span_index(map.beat, beat);
    return 60.0 * (map.beat[i + 1] - map.beat[i]) / (map.time[i + 1] - map.time[i]);
}

std::vector<int> bar_lengths(int beats) {
    std::vector<int> bars;
    if (beats <= 0) return bars;
    if (beats < 4) return {beats};
    int whole = beats / 4, rest = beats % 4;
    bars.assign(size_t(whole), 4);
    if (rest == 1) {
        bars.back() = 3;
        bars.push_back(2);
    } else if (rest > 1) {
        bars.push_back(rest);
    }
    return bars;
}

int parse_pitch(const std::string& name) {
    static const int letter_pc[7] = {9, 11, 0, 2, 4, 5, 7}; // a..g
    if (name.size() < 2) throw notation_error("pitch '" + name + "': too short");
    char l = char(std::tolower(static_cast<unsigned char>(name[0])));
    if (l < 'a' || l > 'g') throw notation_error("pitch '" + name + "': bad letter");
    int pc = letter_pc[l - 'a'];
    size_t i = 1;
    if (name[i] == '#') {
        ++pc;
        ++i;
    } else if (name[i] == 'b') {
        --pc;
        ++i;
    }
    if (i >= name.size()) throw notation_error("pitch '" + name + "': no octave");
    bool negative = name[i] == '-';
    if (negative) ++i;
    if (i + 1 != name.size() || !std::isdigit(static_cast<unsigned char>(name[i])))
        throw notation_error("pitch '" + name + "': bad octave");
    int octave = (name[i] - '0') * (negative ? -1 : 1);
    int key = (octave + 1) * 12 + pc;
    if (key < 0 || key > 127) throw notation_error("pitch '" + name + "': outside the MIDI range");
    return key;
}

namespace {
double parse_length(const std::string& text, const std::string& token) {
    char* end = nullptr;
    double value;
    size_t slash = text.find('/');
    if (slash != std::string::npos) {
        double num = std::strtod(text.substr(0, slash).c_str(), &end);
        if (*end) throw notation_error("length in '" + token + "' is not a number");
        double den = std::strtod(text.substr(slash + 1).c_str(), &end);
        if (*end || den == 0) throw notation_error("length in '" + token + "' is not a number");
        value = num / den;
    } else {
        value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end) throw notation_error("length in '" + token + "' is not a number");
    }
    if (!(value > 0) || value > 64) throw notation_error("length in '" + token + "' is out of range");
    return value;
}

// Words separated by white space; a bar line is always a word of its own.
std::vector<std::string> split_words(const std::string& text) {
    std::string spaced;
    for (char c : text) {
        if (c == '|')
            spaced += " | ";
        else
            spaced += c;
    }
    std::istringstream in(spaced);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}
} // namespace

std::vector<melody_note> parse_melody(const std::string& text, int bar_beats) {
    std::vector<melody_note> line;
    double beat = 0, bar_start = 0, length = 1;
    for (const std::string& token : split_words(text)) {
        if (token == "|") {
            // A long rest may span several bars: any whole number of bars passes.
            double held = beat - bar_start;
            double bars = bar_beats > 0 ? std::round(held / bar_beats) : 1;
            if (bar_beats > 0 && (bars < 1 || std::fabs(held - bars * bar_beats) > 1e-9))
                throw notation_error("melody: bar ending at beat " + std::to_string(beat) + " holds " +
                                     std::to_string(held) + " beats, not a multiple of " +
                                     std::to_string(bar_beats));
            bar_start = beat;
            continue;
        }
        std::string body = token;
        melody_note n;
        while (!body.empty() && (body.back() == '!' || body.back() == '\'')) {
            if (body.back() == '!')
                n.accent = 1;
            else
                n.staccato = true;
            body.pop_back();
        }
        size_t colon = body.find(':');
        std::string pitch = body.substr(0, colon);
        if (colon != std::string::npos) length = parse_length(body.substr(colon + 1), token);
        if (pitch.empty()) throw notation_error("melody: token '" + token + "' has no pitch");
        n.key = pitch == "r" ? -1 : parse_pitch(pitch);
        n.beat = beat;
        n.length = length;
        line.push_back(n);
        beat += length;
    }
    return line;
}

double melody_length(const std::vector<melody_note>& line) {
    return line.empty() ? 0 : line.back().beat + line.back().length;
}

chord parse_chord(const std::string& symbol) {
    static const struct {
        const char* name;
        std::vector<int> intervals;
    } qualities[] = {
        {"", {0, 4, 7}},
        {"m", {0, 3, 7}},
        {"7", {0, 4, 7, 10}},
        {"m7", {0, 3, 7, 10}},
        {"maj7", {0, 4, 7, 11}},
        {"6", {0, 4, 7, 9}},
        {"m6", {0, 3, 7, 9}},
        {"sus2", {0, 2, 7}},
        {"sus4", {0, 5, 7}},
        {"7sus4", {0, 5, 7, 10}},
        {"dim", {0, 3, 6}},
        {"aug", {0, 4, 8}},
        {"5", {0, 7}},
        {"add9", {0, 4, 7, 14}},
        {"9", {0, 4, 7, 10, 14}},
        {"m9", {0, 3, 7, 10, 14}},
    };
    std::string body = symbol, bass;
    size_t slash = body.find('/');
    if (slash != std::string::npos) {
        bass = body.substr(slash + 1);
        body = body.substr(0, slash);
    }
    auto root_of = [&](const std::string& s, size_t& used) {
        if (s.empty()) throw notation_error("chord '" + symbol + "': no root");
        std::string name(1, s[0]);
        used = 1;
        if (s.size() > 1 && (s[1] == '#' || s[1] == 'b')) {
            name += s[1];
            used = 2;
        }
        if (!std::isupper(static_cast<unsigned char>(s[0])))
            throw notation_error("chord '" + symbol + "': root must be an upper-case letter");
        return parse_pitch(name + "4") % 12;
    };
    chord c;
    size_t used = 0;
    c.root = root_of(body, used);
    std::string quality = body.substr(used);
    bool found = false;
    for (const auto& q : qualities) {
        if (quality == q.name) {
            c.intervals = q.intervals;
            found = true;
            break;
        }
    }
    if (!found) throw notation_error("chord '" + symbol + "': unknown quality '" + quality + "'");
    c.bass = c.root;
    if (slash != std::string::npos) {
        size_t bass_used = 0;
        c.bass = root_of(bass, bass_used);
        if (bass_used != bass.size()) throw notation_error("chord '" + symbol + "': bad bass note");
    }
    return c;
}

std::vector<chord_at> parse_progression(const std::string& text, const std::vector<int>& bars) {
    std::vector<std::vector<chord>> written;
    std::vector<chord> current;
    for (const std::string& token : split_words(text)) {
        if (token == "|") {
            if (current.empty()) throw notation_error("progression: empty bar");
            written.push_back(current);
            current.clear();
            continue;
        }
        current.push_back(parse_chord(token));
    }
    if (!current.empty()) written.push_back(current);
    if (written.empty()) throw notation_error("progression: no chords");

    std::vector<chord_at> out;
    double beat = 0;
    for (size_t b = 0; b < bars.size(); ++b) {
        const auto& in_bar = written[b % written.size()];
        double each = double(bars[b]) / double(in_bar.size());
        for (size_t k = 0; k < in_bar.size(); ++k)
            out.push_back({beat + each * double(k), each, in_bar[k]});
        beat += bars[b];
    }
    return out;
}

std::vector<int> parse_groove(const std::string& text) {
    std::vector<int> v;
    for (char ch : text) {
        switch (ch) {
        case '.':
            v.push_back(0);
            break;
        case 'x':
            v.push_back(100);
            break;
        case 'X':
            v.push_back(124);
            break;
        case 'o':
            v.push_back(72);
            break;
        case 'g':
            v.push_back(44);
            break;
        case ' ':
        case '|':
            break;
        default:
            throw notation_error(std::string("groove: bad character '") + ch + "' in '" + text + "'");
        }
    }
    return v;
}

} // namespace forge_music
