#include "settings/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

MappedFile::MappedFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        m_size = static_cast<size_t>(info.st_size);
        if (m_size == 0) {
            m_opened = true;
        } else {
            void* data = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
            m_opened = data != MAP_FAILED;
            m_data = m_opened ? data : nullptr;
            m_size = m_opened ? m_size : 0;
        }
    }
    ::close(fd);
}

MappedFile::~MappedFile() {
    if (m_data)
        ::munmap(m_data, m_size);
}
