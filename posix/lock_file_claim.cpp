#include "lock_file_claim.h"

#include "accounts.h"
#include "lock_file.h"
#include "look.h"

namespace potpanel {

LockFileClaim::LockFileClaim(LockKeeper& keeper, const std::string& device)
{
    const std::string& path = keeper.lockPath();
    for (int attempt = 0; attempt < 3 && !lockFile_; ++attempt) {
        const JudgedLockFile found = refuseIfHeld(path);
        if (found.verdict == LockVerdict::Stale) {
            const StaleLockRemoval removal = removeStaleLock(path, found.reading);
            const std::string owner = userName(found.reading.owner);
            if (removal == StaleLockRemoval::Forbidden)
                throw PortFailure("the lock file " + path + " was left by process " +
                                  std::to_string(found.reading.text.pid) +
                                  ", which has ended, and belongs to " + owner + ", so only " +
                                  owner +
                                  " or an administrator can remove it: ask an administrator to "
                                  "delete it (sudo rm " +
                                  path + ")");
            if (removal == StaleLockRemoval::Replaced)
                continue;
        }
        try {
            lockFile_.emplace(path);
        } catch (const LockFileExists&) {
            // Another program took the port between the look and the claim.
        }
    }
    if (!lockFile_)
        throw PortFailure("the lock file " + path + " keeps being taken by another program");
    if (!keeper.keep(lockFile_->device(), lockFile_->inode()))
        throw PortFailure("the lock file's keeper has ended, so nothing would remove " + path +
                          " should the program be killed");
    // A program given another name of the device may have locked it since the
    // look; with this lock made, whichever of the two looks last sees the other.
    struct stat status
    {
    };
    if (::stat(device.c_str(), &status) == 0)
        refuseIfLockedByName(status);
}

} // namespace potpanel
