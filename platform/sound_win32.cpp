// Pairs with platform/sound_player.h on Windows: the multimedia sound player.
#include "platform/sound_player.h"

#include <windows.h>
#include <mmsystem.h>

namespace vyr::platform {

bool fileExists(const char* path) { return path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void playSoundLooping(const char* path) { PlaySoundA(path, nullptr, SND_ASYNC | SND_LOOP); }

void stopAllSound() { PlaySoundA(nullptr, nullptr, SND_ASYNC); }

}  // namespace vyr::platform
