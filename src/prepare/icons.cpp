// Loading of the embedded icons; see icons.h.
#include "prepare/icons.h"

#include "embedded.h"
#include "platform/gui.h"

namespace vu {

void LoadIcons() {
    for (int image = 0; image < IconCount; ++image) {
        EmbeddedSpan icon = IconData(image);
        plat::CatchImage(image, icon.data, icon.size);
    }
}

}  // namespace vu
