#include "Tolvi/updater/UpdateController.h"

namespace tolvi {

UpdateController::~UpdateController() = default;

} // namespace tolvi
