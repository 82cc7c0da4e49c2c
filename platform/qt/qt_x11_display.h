#pragma once

typedef struct _XDisplay Display;

namespace tlv {

// The Xlib display of the Qt application when it runs on X11 (grabs must be held by the
// connection whose windows receive the keys), or null.
Display* qtX11Display();

} // namespace tlv
