#include "platform/path.h"

namespace platform {

NameRules SystemNameRules() {
    return NameRules::Posix;
}

}  // namespace platform
