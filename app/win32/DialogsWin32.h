// The two small boxes of the Windows window: the cable warning after a
// successful upgrade, and the About box. Each runs modally over owner and
// opens centred over it.
#pragma once

#include "widgets/SystemHeadersWin32.h"

namespace zel {

void RunCableWarningBox(HWND owner);
void RunAboutBox(HWND owner);

// A dialog's picture: bitmap resource id laid on the dialog's face colour
// (its transparent parts show the face). The caller deletes it.
HBITMAP LoadPictureOnFace(int id);

}  // namespace zel
