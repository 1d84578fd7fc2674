#include "Tolvi/platform/session/SessionPlatform.h"

namespace tolvi {

SessionPlatform::~SessionPlatform() = default;

} // namespace tolvi
