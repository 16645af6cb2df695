// LoadProxies on arbitrary text, checked against Boost.Regex running the same patterns: the pairs
// and their order must agree wherever Boost does not give up.
#include "proxy/ProxyList.h"
#include "proxy/ProxyTextParser.h"
#include "tests/support/BoostProxyPairs.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ProxyList list;
    const ProxyTextParser::Loaded loaded = ProxyTextParser::LoadProxies(list, text, true);
    if (loaded.count < 0 || static_cast<size_t>(loaded.count) != list.GetSize() || !loaded.error.empty())
        std::abort();

    const auto expected = BoostProxyPairs(text);
    if (!expected)
        return 0;
    if (expected->size() != list.GetSize())
        std::abort();
    for (size_t i = 0; i < list.GetSize(); ++i) {
        if (list[i]->ProxyAddressText() != (*expected)[i] || list[i]->m_index != i) {
            std::fprintf(stderr, "record %zu: %s, Boost: %s\n", i, list[i]->ProxyAddressText().c_str(),
                         (*expected)[i].c_str());
            std::abort();
        }
    }
    return 0;
}
