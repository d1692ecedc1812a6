#include "app/soundtrack.h"

#include <cstdlib>

#include "app/startup_options.h"
#include "common/paths.h"
#include "platform/sound_player.h"

namespace vyr::test {

bool soundtrackPlaying = false;

void setSoundtrack(bool start) {
    bool muted = startupOptions().soundMuted;
    if (soundtrackPlaying) {
        if (!muted && start) return;  // keeps playing without restarting
        platform::stopAllSound();
        soundtrackPlaying = false;
    }
    if (soundtrackPlaying || muted || !start) return;

    char directory[512];
    vyr::installDirectory(directory, sizeof directory);
    // Looked up again at every start, so a file added later is found.
    char* path = vyr::joinPath(directory, "share", "vyr", "sounds", "soundtrack.wav", nullptr);
    if (path && platform::fileExists(path)) {
        platform::playSoundLooping(path);
        soundtrackPlaying = true;
    }
    free(path);
}

}  // namespace vyr::test
