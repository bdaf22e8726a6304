// COM on the calling thread; see com_apartment.h. The apartment is left by the thread's end
// (or the process exit), so nothing calls CoUninitialize.
#include "platform/win32/com_apartment.h"

#include <objbase.h>

namespace vu::plat {

void EnsureComApartment() {
    thread_local bool joined = false;
    if (joined) return;
    joined = true;
    // A thread that already joined the other kind of apartment keeps it; COM works there too.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
}

}  // namespace vu::plat
