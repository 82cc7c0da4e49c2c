#pragma once

// What another X client can see of a lockdown: shared by the tests that check one.

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XKBstr.h>

namespace tlv::test {

// Virtual-terminal switch and server-kill actions in the core keyboard's keymap (-1: unread).
inline int escapeActionCount(Display* d) {
    XkbDescPtr xkb = XkbGetMap(d, XkbAllClientInfoMask | XkbAllServerInfoMask, XkbUseCoreKbd);
    if (!xkb)
        return -1;
    int n = 0;
    for (unsigned k = xkb->min_key_code; k <= xkb->max_key_code; ++k) {
        if (!XkbKeyHasActions(xkb, k))
            continue;
        XkbAction* a = XkbKeyActionsPtr(xkb, k);
        for (int i = 0; i < XkbKeyNumActions(xkb, k); ++i)
            n += a[i].type == XkbSA_SwitchScreen || a[i].type == XkbSA_Terminate;
    }
    XkbFreeKeyboard(xkb, XkbAllComponentsMask, True);
    return n;
}

} // namespace tlv::test
