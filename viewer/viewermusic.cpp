#include "viewer/viewerwindow.h"

void LARK_M7::CONTROLLO_ESISTENZA_MP3(QString &, Int16 &ER) { ER = 1; }

void LARK_M7::RunMusicStep() {}
