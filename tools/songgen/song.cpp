#include "song.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace songgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kAttackSeconds = 0.008;
constexpr double kDecaySeconds = 0.7;
// A note rings on for this long after its written length, fading to zero.
constexpr double kTailSeconds = 0.25;

bool readNumber(const std::string& word, double& value) {
    char* end = nullptr;
    value = strtod(word.c_str(), &end);
    return !word.empty() && end && *end == '\0' && std::isfinite(value);
}

// "A4/2" or "-/1" (a rest).
bool readNote(const std::string& word, Note& note) {
    size_t slash = word.find('/');
    if (slash == std::string::npos) return false;
    std::string name = word.substr(0, slash);
    if (!readNumber(word.substr(slash + 1), note.beats) || note.beats <= 0) return false;
    if (name == "-") {
        note.frequency = 0;
        return true;
    }
    note.frequency = noteFrequency(name);
    return note.frequency > 0;
}

// Partials of the melody voice: a soft, slightly hollow tone.
double voice(double phase) {
    return sin(phase) + 0.35 * sin(2 * phase) + 0.18 * sin(3 * phase) + 0.06 * sin(5 * phase);
}

}  // namespace

double noteFrequency(const std::string& name) {
    static const int semitones[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G from C
    if (name.size() < 2) return 0;
    char letter = char(toupper(static_cast<unsigned char>(name[0])));
    if (letter < 'A' || letter > 'G') return 0;
    int semitone = semitones[letter - 'A'];
    size_t i = 1;
    if (name[i] == '#') {
        ++semitone;
        ++i;
    } else if (name[i] == 'b') {
        --semitone;
        ++i;
    }
    if (i + 1 != name.size() || !isdigit(static_cast<unsigned char>(name[i]))) return 0;
    int octave = name[i] - '0';
    int fromA4 = (octave - 4) * 12 + semitone - 9;
    return 440.0 * pow(2.0, fromA4 / 12.0);
}

bool parseSong(const std::string& text, Song& song, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string key;
        if (!(words >> key)) continue;
        std::vector<std::string> rest;
        for (std::string w; words >> w;) rest.push_back(w);
        auto fail = [&](const char* what) {
            error = "line " + std::to_string(number) + ": " + what;
            return false;
        };
        double value = 0;
        if (key == "rate" || key == "tempo" || key == "volume" || key == "melody_level" || key == "swells") {
            if (rest.size() != 1 || !readNumber(rest[0], value) || value <= 0) return fail("expected one positive number");
            if (key == "rate") song.rate = int(value);
            if (key == "tempo") song.tempo = value;
            if (key == "volume") song.volume = std::min(value, 1.0);
            if (key == "melody_level") song.melodyLevel = value;
            if (key == "swells") song.swells = int(value);
        } else if (key == "drone") {
            Drone drone;
            if (rest.size() != 2 || (drone.frequency = noteFrequency(rest[0])) <= 0 ||
                !readNumber(rest[1], drone.level))
                return fail("expected: drone <note> <level>");
            song.drones.push_back(drone);
        } else if (key == "melody") {
            for (const std::string& w : rest) {
                Note note;
                if (!readNote(w, note)) return fail(("bad note '" + w + "' (expected e.g. A4/1 or -/0.5)").c_str());
                song.melody.push_back(note);
            }
        } else {
            return fail(("unknown key '" + key + "'").c_str());
        }
    }
    if (song.melody.empty()) {
        error = "no melody";
        return false;
    }
    return true;
}

size_t loopLength(const Song& song) {
    double beats = 0;
    for (const Note& n : song.melody) beats += n.beats;
    return size_t(std::lround(beats * 60.0 / song.tempo * song.rate));
}

std::vector<int16_t> renderSong(const Song& song) {
    const size_t length = loopLength(song);
    std::vector<double> mix(length, 0.0);
    if (length == 0) return {};
    const double rate = song.rate;

    // Each drone partial and the swell make whole cycles per loop, so the
    // drone's end runs straight into its start.
    for (const Drone& d : song.drones) {
        double cycles = std::max(1.0, std::round(d.frequency * length / rate));
        for (size_t i = 0; i < length; ++i) {
            double t = double(i) / length;
            double swell = 0.75 + 0.25 * cos(2 * kPi * song.swells * t);
            double phase = 2 * kPi * cycles * t;
            mix[i] += d.level * swell * (sin(phase) + 0.25 * sin(2 * phase) + 0.1 * sin(3 * phase));
        }
    }

    // Melody notes are written into the loop modulo its length: a note that
    // rings past the end sounds again at the start, as it does when looping.
    double beatSamples = 60.0 / song.tempo * rate;
    double start = 0;
    for (const Note& n : song.melody) {
        size_t begin = size_t(std::lround(start));
        start += n.beats * beatSamples;
        if (n.frequency <= 0) continue;
        double held = n.beats * beatSamples;
        double tail = kTailSeconds * rate;
        size_t total = size_t(held + tail);
        for (size_t k = 0; k < total; ++k) {
            double seconds = k / rate;
            double envelope = std::min(1.0, seconds / kAttackSeconds) * exp(-seconds / kDecaySeconds);
            if (k > held) envelope *= 0.5 + 0.5 * cos(kPi * (k - held) / tail);
            mix[(begin + k) % length] += 0.5 * song.melodyLevel * envelope * voice(2 * kPi * n.frequency * seconds);
        }
    }

    double peak = 0;
    for (double v : mix) peak = std::max(peak, std::fabs(v));
    double scale = peak > 0 ? song.volume * 32767.0 / peak : 0;
    std::vector<int16_t> samples(length);
    for (size_t i = 0; i < length; ++i) samples[i] = int16_t(std::lround(mix[i] * scale));
    return samples;
}

std::vector<uint8_t> wavFile(const std::vector<int16_t>& samples, int rate) {
    std::vector<uint8_t> out;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    };
    auto u16 = [&](uint16_t v) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    };
    auto tag = [&](const char* t) { out.insert(out.end(), t, t + 4); };
    uint32_t dataBytes = uint32_t(samples.size() * 2);
    tag("RIFF");
    u32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);  // PCM
    u16(1);  // mono
    u32(uint32_t(rate));
    u32(uint32_t(rate) * 2);
    u16(2);
    u16(16);
    tag("data");
    u32(dataBytes);
    for (int16_t s : samples) u16(uint16_t(s));
    return out;
}

}  // namespace songgen
