#pragma once

#include "lock_keeper.h"
#include "own_lock_file.h"

#include <optional>
#include <string>

namespace potpanel {

// The claim's lock file, made once the look has found the device free: holds
// the device's lock file in /run/lock for as long as it lives, the keeper
// removing it should the process end without running its destructors. A stale
// lock is cleared. Once its own lock is made, it refuses a lock file made
// meanwhile under another name of the device. Throws PortFailure naming the
// cause and the holder.
class LockFileClaim
{
public:
    LockFileClaim(LockKeeper& keeper, const std::string& device);

private:
    std::optional<OwnLockFile> lockFile_;
};

} // namespace potpanel
