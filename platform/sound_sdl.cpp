// Pairs with platform/sound_player.h on Linux: SDL2's audio subsystem plays
// the WAV file in a loop from a callback; no device means silence.
#include "platform/sound_player.h"

#include <SDL.h>
#include <sys/stat.h>

#include <cstring>

namespace vyr::platform {

namespace {

struct Playback {
    SDL_AudioDeviceID device = 0;
    Uint8* samples = nullptr;
    Uint32 length = 0;
    Uint32 offset = 0;
};

Playback playback;

void SDLCALL fill(void* user, Uint8* stream, int len) {
    auto* p = static_cast<Playback*>(user);
    int written = 0;
    while (written < len && p->length > 0) {
        Uint32 chunk = SDL_min(Uint32(len - written), p->length - p->offset);
        memcpy(stream + written, p->samples + p->offset, chunk);
        written += int(chunk);
        p->offset = (p->offset + chunk) % p->length;
    }
    if (written < len) memset(stream + written, 0, size_t(len - written));
}

}  // namespace

bool fileExists(const char* path) {
    struct stat info;
    return path && stat(path, &info) == 0;
}

void stopAllSound() {
    if (playback.device) SDL_CloseAudioDevice(playback.device);
    playback.device = 0;
    if (playback.samples) SDL_FreeWAV(playback.samples);
    playback = Playback();
}

void playSoundLooping(const char* path) {
    stopAllSound();
    // SDL would otherwise turn SIGINT and SIGTERM into quit events that this
    // program never reads, and it could no longer be ended by a signal.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (!SDL_WasInit(SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    SDL_AudioSpec spec;
    if (!SDL_LoadWAV(path, &spec, &playback.samples, &playback.length)) return;
    spec.callback = fill;
    spec.userdata = &playback;
    // The device takes the file's own format, so no conversion is needed.
    playback.device = SDL_OpenAudioDevice(nullptr, 0, &spec, nullptr, 0);
    if (!playback.device) {
        SDL_FreeWAV(playback.samples);
        playback = Playback();
        return;
    }
    SDL_PauseAudioDevice(playback.device, 0);
}

}  // namespace vyr::platform
