#pragma once

#include "runtime/int16.h"

#include <QString>

#include <functional>

struct SharedState;

namespace GL_LARK {

// Sets CurrentPath to ShowFolder & CurrentName and tells whether that file can be opened for
// reading: result 0 when it can, 1 when it cannot (missing, unreadable, no regular file, or a
// folder, as when CurrentName is empty). Shows no message. canOpen does the opening (the show
// has it done on a worker thread).
void ProbeCurrentPicture(SharedState &state, Int16 &result,
                         const std::function<bool(const QString &)> &canOpen);

} // namespace GL_LARK
