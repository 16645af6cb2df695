#pragma once

#include "platform/FileDescriptor.h"

#include <string>

namespace platform {

// An advisory lock on a folder, held through a file in it for the life of the object, so that two
// copies of the program never write the same files. The system drops it when the process ends, however
// it ends. Another holder in this process counts as another holder too.
class FolderLock {
public:
    static constexpr const char* FileName = "orv.lock";

    enum class State {
        Held,          // this object holds the lock
        HeldElsewhere, // another copy holds it
        Unavailable    // the lock file cannot be made (a read-only folder): nobody can hold it
    };

    // folder ends with '/'.
    explicit FolderLock(const std::string& folder);

    State GetState() const { return m_state; }

private:
    FileDescriptor m_file;
    State m_state = State::Unavailable;
};

} // namespace platform
