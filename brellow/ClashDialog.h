// The dialog that asks what to do with one name clash: the file's name, both
// sizes and dates, Replace / Skip / Keep both, "Do this for all remaining
// clashes" and Cancel.
#pragma once

#include "ClashPolicy.h"

#include <windows.h>

namespace brellow {

// Shows the dialog, owned by owner, until the user answers. False when the
// dialog could not be shown.
bool ShowClashDialog(HWND owner, const ClashInfo& clash, ClashAsker::Reply& reply);

}  // namespace brellow
