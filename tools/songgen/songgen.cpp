// songgen <description> <output.wav>: renders one seamless loop of the song.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "song.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: songgen <description> <output.wav>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        fprintf(stderr, "songgen: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    songgen::Song song;
    std::string error;
    if (!songgen::parseSong(text.str(), song, error)) {
        fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    double seconds = double(songgen::loopLength(song)) / song.rate;
    if (seconds < 8 || seconds > 16) {
        fprintf(stderr, "%s: the loop lasts %.2f s, not 8 to 16 s\n", argv[1], seconds);
        return 1;
    }
    std::vector<uint8_t> wav = songgen::wavFile(songgen::renderSong(song), song.rate);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(wav.data()), std::streamsize(wav.size()));
    out.close();
    if (!out) {
        fprintf(stderr, "songgen: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
