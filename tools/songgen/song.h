// A song description and its rendering into one loop of 16-bit mono samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace songgen {

struct Note {
    double frequency = 0;  // 0 is a rest
    double beats = 0;
};

struct Drone {
    double frequency = 0;
    double level = 0;
};

struct Song {
    int rate = 22050;
    double tempo = 90;   // beats per minute
    double volume = 0.7; // peak, as a fraction of full scale
    double melodyLevel = 1.0;
    int swells = 2;      // slow rises of the drone per loop
    std::vector<Drone> drones;
    std::vector<Note> melody;
};

// Frequency of a note name such as "A4", "F#3" or "Bb2"; 0 when it is none.
double noteFrequency(const std::string& name);
// Reads the description; on failure returns false with a message naming the line.
bool parseSong(const std::string& text, Song& song, std::string& error);
// The length of one loop in samples.
size_t loopLength(const Song& song);
// One loop; the sample after the last one is the first, so repeating it does not click.
std::vector<int16_t> renderSong(const Song& song);
// A RIFF/WAVE file with 16-bit mono PCM.
std::vector<uint8_t> wavFile(const std::vector<int16_t>& samples, int rate);

}  // namespace songgen
