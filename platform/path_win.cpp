#include "platform/path.h"

namespace platform {

NameRules SystemNameRules() {
    return NameRules::Windows;
}

}  // namespace platform
