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

// A unique name, claimed once; the file itself lives only while one input is loaded, because
// libFuzzer ends a timed run without the clean-up at exit.
const char* TempPath() {
    static char path[] = "/tmp/orv-fuzz-dangerous-XXXXXX";
    static const bool claimed = [] {
        const int fd = mkstemp(path);
        if (fd < 0)
            std::abort();
        close(fd);
        return true;
    }();
    return claimed ? path : nullptr;
}

void PutUInt32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>(value >> shift & 0xFF);
}

// Random bytes seldom get past the header, so half of the inputs become a file with a sound header
// around fuzzed records and a fuzzed octet index (small entries, in and out of the records).
std::string WithHeader(const uint8_t* data, size_t size) {
    const size_t half = size / 2;
    const size_t count = std::min<size_t>(half / 8, 64);
    std::string out("orv", 4);
    PutUInt32(out, uint32_t(8 + count * 8));
    out.append(reinterpret_cast<const char*>(data), count * 8);
    PutUInt32(out, uint32_t(count));
    out.append(8, '\0');
    out += char(8);
    for (size_t octet = 0; octet < 256; ++octet)
        PutUInt32(out, half + octet < size ? uint32_t(int32_t(int8_t(data[half + octet]))) : 0);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // The first byte chooses the file's form and how many of the following bytes form the address text.
    const bool withHeader = data[0] & 0x80;
    const size_t fileStart = std::min(size, 1 + size_t(data[0] & 0x1F));
    const std::string text(reinterpret_cast<const char*>(data) + 1, fileStart - 1);
    const std::string bytes = withHeader
                                  ? WithHeader(data + fileStart, size - fileStart)
                                  : std::string(reinterpret_cast<const char*>(data) + fileStart, size - fileStart);

    std::FILE* file = std::fopen(TempPath(), "wb");
    if (!file)
        std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);

    DangerousList list;
    list.LoadDangerousList(TempPath());
    std::remove(TempPath());
    for (const char* address : {"0.0.0.0", "6.1.2.3", "127.0.0.1", "255.255.255.255", "1.2.3.4", "999.999.999.999"})
        list.IsDangerousAddress(address);
    list.IsDangerousAddress(text);
    list.FreeDangerousList();
    list.IsDangerousAddress(text);
    return 0;
}
