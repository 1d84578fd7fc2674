#pragma once

class QThreadPool;

namespace tolvi {

// The threads for work that spends its time waiting: requests to AI services, D-Bus questions,
// scans of folders and files that may be slow or never answer. Not Qt's global pool: the raster
// engine paints a large area by handing pieces of it to the global pool and waiting on the main
// thread until they are done, so a request waiting there for the network would hold up painting.
// Gone with the application, after the work under way has ended, as Qt's global pool goes.
QThreadPool& waitingWorkPool();

} // namespace tolvi
