// Failures of the controls.
#pragma once

#include "platform/exception.h"

namespace controls {

// An operation the control refuses in its current state (an inverted range).
class EInvalidOperation : public platform::Exception {
public:
    using platform::Exception::Exception;
};

}  // namespace controls
