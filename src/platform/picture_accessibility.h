#pragma once

#include <QtGlobal>

class PictureBox;

// Assistive technologies see a picture as the program uses it: a picture
// used as a button is a push button, and each spot of a picture that works
// as a button is a child push button (a switch shows whether it is on), all
// with a press action that does what a click does.
void InstallPictureAccessibility();

// Tells assistive technologies that the keyboard's mark moved to a spot, or
// that a switch spot went on or off.
void NotifySpotFocus(PictureBox *picture, qsizetype spot);
void NotifySpotStateChanged(PictureBox *picture, qsizetype spot);
