#pragma once

namespace AudioOutput {

// Whether the real player can play sound here. GStreamer plays in real time even without a
// sound server; a machine where even a plain generated WAV fails has no audio output at all.
bool available();

} // namespace AudioOutput
