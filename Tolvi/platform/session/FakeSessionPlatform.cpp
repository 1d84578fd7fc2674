#include "Tolvi/platform/session/FakeSessionPlatform.h"

namespace tolvi {

void FakeSessionPlatform::reportActivation(qint64 target)
{
    if (handlers_.targetActivated)
        handlers_.targetActivated(target);
}

void FakeSessionPlatform::reportFrontWindowChange()
{
    if (handlers_.frontWindowChanged)
        handlers_.frontWindowChanged();
}

void FakeSessionPlatform::shutDown()
{
    handlers_ = {};
    shutDown_ = true;
}

} // namespace tolvi
