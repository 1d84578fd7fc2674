#pragma once

namespace tolvi::samples {

// Makes linkat() fail with EPERM, as on a file system without hard links, while set. Linked into
// the binaries that need it only.
void refuseHardLinks(bool refuse);

} // namespace tolvi::samples
