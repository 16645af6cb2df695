// LoadProxies on arbitrary text, checked against Boost.Regex running the same patterns: the pairs
// and their order must agree wherever Boost does not give up, whatever schemes and credentials are
// written around them; the credentials taken are ones the protocols can carry.
#include "proxy/ProxyList.h"
#include "proxy/ProxyTextParser.h"
#include "tests/support/BoostProxyPairs.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ProxyList list;
    const auto plainKind = static_cast<ProxyKind>(size > 0 ? data[0] % ProxyKindCount : 0);
    const ProxyTextParser::Loaded loaded = ProxyTextParser::LoadProxies(list, text, true, plainKind);
    if (loaded.count < 0 || static_cast<size_t>(loaded.count) != list.GetSize() || !loaded.error.empty())
        std::abort();

    const auto expected = BoostProxyPairs(text);
    if (!expected)
        return 0;
    if (expected->size() != list.GetSize())
        std::abort();
    for (size_t i = 0; i < list.GetSize(); ++i) {
        const auto& credentials = list[i]->m_credentials;
        if (credentials && !(ProxyCredentials::IsAcceptable(credentials->m_user) &&
                             ProxyCredentials::IsAcceptable(credentials->m_password)))
            std::abort();
        if (list[i]->ProxyAddressText() != (*expected)[i] || list[i]->m_index != i) {
            std::fprintf(stderr, "record %zu: %s, Boost: %s\n", i, list[i]->ProxyAddressText().c_str(),
                         (*expected)[i].c_str());
            std::abort();
        }
    }
    return 0;
}
