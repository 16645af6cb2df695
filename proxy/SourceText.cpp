#include "proxy/SourceText.h"

#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>

SourceText::~SourceText() {
    if (m_mapped)
        ::munmap(const_cast<char*>(m_mapped), m_mappedSize);
}

bool SourceText::Map(int fd) {
    struct stat status {};
    if (m_mapped || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0)
        return false;
    const auto size = static_cast<size_t>(status.st_size);
    // Populated at once: taking the file's pages from the cache in one go is cheaper than a fault each.
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (mapped == MAP_FAILED)
        return false;
    if (std::memchr(mapped, '\0', size)) {
        ::munmap(mapped, size);
        return false;
    }
    m_mapped = static_cast<const char*>(mapped);
    m_mappedSize = size;
    return true;
}
