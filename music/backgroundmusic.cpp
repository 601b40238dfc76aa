#include "music/backgroundmusic.h"
