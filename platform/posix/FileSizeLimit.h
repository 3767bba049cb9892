// A file-size limit (ulimit -f, RLIMIT_FSIZE) as the file services meet it.
#pragma once

namespace platform::posix {

// For the rest of the run, a write beyond the limit fails (EFBIG, a failed write to the
// caller) instead of ending the process with SIGXFSZ, which would leave a half-written
// staging file behind and tell the user nothing.
void FailWritesBeyondFileSizeLimit();

}  // namespace platform::posix
