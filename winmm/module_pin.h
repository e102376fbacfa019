// Keeping the module's code in memory for the life of the process, for when a
// driver still holds a callback into it.
#pragma once

// [host thread, when memory is kept for good] Idempotent; a failure leaves
// the module as it was.
void PinModule();
