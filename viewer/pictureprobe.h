#pragma once

#include "runtime/int16.h"

struct SharedState;

namespace GL_LARK {

// Sets CurrentPath to ShowFolder & CurrentName and tells whether that file can be opened for
// reading: result 0 when it can, 1 when it cannot (missing, unreadable, or a folder, as when
// CurrentName is empty). Shows no message.
void ProbeCurrentPicture(SharedState &state, Int16 &result);

} // namespace GL_LARK
