#include "app/qt/display_check.h"

namespace app::qt {

// A Windows session always has its desktop to show windows on.
bool DisplayOpens(int, char**) {
    return true;
}

}  // namespace app::qt
