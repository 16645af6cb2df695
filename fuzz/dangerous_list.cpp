// Arbitrary bytes as DangerousIP.dat, then lookups of fixed addresses and of an address text taken
// from the input: nothing may read outside the loaded data.
#include "proxy/DangerousList.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const std::string& TempPath() {
    static const std::string path = [] {
        std::string pattern = "/tmp/orv-fuzz-dangerous-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0)
            std::abort();
        close(fd);
        std::atexit([] { std::remove(TempPath().c_str()); });
        return pattern;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte says how many of the following bytes form the address text; the rest is the file.
    const size_t textLength = size == 0 ? 0 : data[0] % 20;
    const size_t textStart = size == 0 ? 0 : 1;
    const size_t fileStart = std::min(size, textStart + textLength);
    const std::string text(reinterpret_cast<const char*>(data) + textStart, fileStart - textStart);

    std::FILE* file = std::fopen(TempPath().c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data + fileStart, 1, size - fileStart, file);
    std::fclose(file);

    DangerousList list;
    list.LoadDangerousList(TempPath());
    for (const char* address : {"0.0.0.0", "6.1.2.3", "127.0.0.1", "255.255.255.255", "1.2.3.4", "999.999.999.999"})
        list.IsDangerousAddress(address);
    list.IsDangerousAddress(text);
    list.FreeDangerousList();
    list.IsDangerousAddress(text);
    return 0;
}
