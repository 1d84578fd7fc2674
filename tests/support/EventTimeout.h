#pragma once
// How long a test waits for something that must happen (a program started, a copy seen, a window
// shown or activated): generous, because a wait ends as soon as the event is there, and a busy
// machine may take seconds to start a program or let it answer. Checks that something does NOT
// happen pass their own short time.

namespace tolvi::test {

constexpr int eventTimeoutMs = 30'000;

} // namespace tolvi::test
