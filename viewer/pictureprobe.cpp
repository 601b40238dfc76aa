#include "viewer/pictureprobe.h"

#include "runtime/fileprobe.h"
#include "state/sharedstate.h"

namespace GL_LARK {

void ProbeCurrentPicture(SharedState &state, Int16 &result)
{
    state.CurrentPath = state.ShowFolder + state.CurrentName;
    result = FileProbe::canOpenForReading(state.CurrentPath) ? 0 : 1;
}

} // namespace GL_LARK
