#include "platform/posix/FileSizeLimit.h"

#include <csignal>

namespace platform::posix {

void FailWritesBeyondFileSizeLimit() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform::posix
