// Looping background playback of one WAV file: platform/sound_sdl.cpp (Linux,
// SDL2 audio) and platform/sound_win32.cpp (PlaySoundA). No notifications.
#pragma once

namespace vyr::platform {

bool fileExists(const char* path);
// Starts looped playback of the file from its beginning, replacing any sound.
void playSoundLooping(const char* path);
// Stops all sound of the program at once.
void stopAllSound();

}  // namespace vyr::platform
