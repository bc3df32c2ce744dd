#pragma once

namespace kv {

// The start-up check: a named shared-memory section "MyMap" of 32 bytes. A section that
// another copy of the program already made is fine (a second copy starts normally); only a
// refusal by the system fails the check. The section lives until the program ends.
bool runStartupCheck();

} // namespace kv
