#pragma once

// The two places of the viewer's buttons, computed from the window's outer size (twips,
// single precision): running (the pause button alone on the bottom row) and paused ("STAMPA"
// and "USCITA" on the bottom row, the pause button above "USCITA").
namespace ButtonLayout {

struct Place
{
    float left = 0;
    float top = 0;
};

struct Paused
{
    Place command1;
    Place command2;
    Place command3;
};

Place running(float outerHeight, float outerWidth);
Paused paused(float outerHeight, float outerWidth);

} // namespace ButtonLayout
