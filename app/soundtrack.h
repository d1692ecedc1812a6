// The looping soundtrack: share/vyr/sounds/soundtrack.wav below the installation directory.
#pragma once

namespace vyr::test {

extern bool soundtrackPlaying;
// true: play unless muted (a playing track keeps playing); false: stop.
void setSoundtrack(bool start);

}  // namespace vyr::test
