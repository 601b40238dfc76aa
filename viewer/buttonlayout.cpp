#include "viewer/buttonlayout.h"

namespace ButtonLayout {

Place running(float outerHeight, float outerWidth)
{
    const float v = outerHeight - 1600.0f;
    const float u = outerWidth - 2300.0f;
    return {u, v + 600.0f};
}

Paused paused(float outerHeight, float outerWidth)
{
    const float v = outerHeight - 1600.0f;
    const float u = outerWidth - 2300.0f;
    return {{u - 1800.0f, v + 600.0f}, {u, v + 600.0f}, {u, v}};
}

} // namespace ButtonLayout
