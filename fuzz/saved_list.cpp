// The saved-list reader on any bytes (versions 100 and 101): no crash, no record beyond the data, limits
// of every field kept, no kind or credentials that are not ours to hold.
#include "settings/SavedList.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ProxyList list;
    const auto result = SavedList::FromBytes(std::string_view(reinterpret_cast<const char*>(data), size), list);
    // Every record takes at least two length bytes and eight integers.
    if (list.GetSize() * (2 + 8 * 4) > size + 8 * 4 || (!result.m_loaded && !list.IsEmpty()))
        std::abort();
    for (size_t i = 0; i < list.GetSize(); ++i) {
        if (list[i]->m_index != i || std::strlen(list[i]->m_ip) > ProxyItem::MaxIpLength ||
            std::strlen(list[i]->m_port) > ProxyItem::MaxPortLength)
            std::abort();
        const auto& credentials = list[i]->m_credentials;
        if (static_cast<int32_t>(list[i]->Kind()) >= ProxyKindCount ||
            (credentials && !(ProxyCredentials::IsAcceptable(credentials->m_user) &&
                              ProxyCredentials::IsAcceptable(credentials->m_password))))
            std::abort();
    }
    // What was loaded saves and loads back to the same bytes.
    const std::string saved = SavedList::ToBytes(list, result.m_lastTestedText);
    ProxyList again;
    SavedList::FromBytes(saved, again);
    if (SavedList::ToBytes(again, result.m_lastTestedText) != saved)
        std::abort();
    return 0;
}
