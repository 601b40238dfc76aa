#include "pictures/pictureprobe.h"

#include "state/sharedstate.h"

namespace GL_LARK {

void ProbeCurrentPicture(SharedState &state, Int16 &result,
                         const std::function<bool(const QString &)> &canOpen)
{
    state.CurrentPath = state.ShowFolder + state.CurrentName;
    result = canOpen(state.CurrentPath) ? 0 : 1;
}

} // namespace GL_LARK
