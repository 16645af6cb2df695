#include "proxy/ProxyAddressForms.h"

#include "proxy/ProxyKey.h"
#include "proxy/ProxyList.h"

#include <cctype>
#include <cstring>
#include <unordered_map>

namespace {

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (IsDigit(c))
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// A URL's user information is percent-encoded: "p%40ss" is "p@ss".
std::string PercentDecoded(std::string_view text) {
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// "user:password" split at its first colon; nothing without a colon, or when either part is no
// credential the protocols can carry.
std::optional<ProxyCredentials> SplitCredentials(std::string_view text, bool encoded) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    ProxyCredentials credentials;
    credentials.m_user = encoded ? PercentDecoded(text.substr(0, colon)) : std::string(text.substr(0, colon));
    credentials.m_password = encoded ? PercentDecoded(text.substr(colon + 1)) : std::string(text.substr(colon + 1));
    if (!ProxyCredentials::IsAcceptable(credentials.m_user) || !ProxyCredentials::IsAcceptable(credentials.m_password))
        return std::nullopt;
    return credentials;
}

// Where the word that ends at end starts: the first character after a blank or a slash.
size_t WordStart(std::string_view text, size_t end) {
    size_t start = end;
    while (start > 0 && !IsBlank(text[start - 1]) && text[start - 1] != '/')
        --start;
    return start;
}

// What is written before the address: "scheme://", "user:password@", both or neither.
void ReadPrefix(std::string_view text, size_t at, ProxyAddressForms::Form& form) {
    if (at > 0 && text[at - 1] == '@') {
        const size_t start = WordStart(text, at - 1);
        form.credentials = SplitCredentials(text.substr(start, at - 1 - start), true);
        if (!form.credentials)
            return;
        at = start;
    }
    if (at < 3 || text.substr(at - 3, 3) != "://")
        return;
    size_t start = at - 3;
    while (start > 0 && std::isalnum(static_cast<unsigned char>(text[start - 1])))
        --start;
    form.kind = ProxyKindFromScheme(text.substr(start, at - 3 - start));
}

// ":user:password" right after the port, up to the end of the word.
void ReadSuffix(std::string_view text, const ProxyPatterns::Match& match, ProxyAddressForms::Form& form) {
    if (form.credentials || match.separator != ':' || match.end >= text.size() || text[match.end] != ':')
        return;
    size_t end = match.end + 1;
    while (end < text.size() && !IsBlank(text[end]))
        ++end;
    form.credentials = SplitCredentials(text.substr(match.end + 1, end - match.end - 1), false);
}

} // namespace

bool ProxyAddressForms::MayHoldForms(std::string_view text) {
    // A scheme or user information shows by its "://" or '@'; credentials after a pair by a colon
    // that follows a colon and digits.
    if (text.find("://") != std::string_view::npos || text.find('@') != std::string_view::npos)
        return true;
    for (size_t at = text.find(':'); at != std::string_view::npos; at = text.find(':', at + 1)) {
        size_t end = at + 1;
        while (end < text.size() && IsDigit(text[end]))
            ++end;
        if (end > at + 2 && end < text.size() && text[end] == ':')
            return true;
    }
    return false;
}

std::optional<ProxyAddressForms::Form> ProxyAddressForms::FormAround(std::string_view text,
                                                                     const ProxyPatterns::Match& match) {
    Form form;
    ReadPrefix(text, static_cast<size_t>(match.address.data() - text.data()), form);
    ReadSuffix(text, match, form);
    if (!form.kind && !form.credentials)
        return std::nullopt;
    return form;
}

void ProxyAddressForms::Apply(std::string_view text, ProxyKind defaultKind, ProxyList& list, size_t first) {
    for (size_t i = first; i < list.GetSize(); ++i)
        list[i]->SetKind(defaultKind);
    if (first == list.GetSize() || !MayHoldForms(text))
        return;
    std::unordered_map<int64_t, Form> forms;
    ProxyPatterns::Match match;
    for (size_t at = 0; ProxyPatterns::FindPlain(text, at, match); at = match.end) {
        if (auto form = FormAround(text, match)) {
            std::string pair(match.address);
            pair += match.separator;
            pair += match.port;
            forms.try_emplace(ProxyKey(pair), std::move(*form));
        }
    }
    for (size_t i = first; i < list.GetSize() && !forms.empty(); ++i) {
        ProxyItem& item = *list[i];
        const auto found = forms.find(ProxyKey(item.ProxyAddressText()));
        if (found == forms.end())
            continue;
        if (found->second.kind)
            item.SetKind(*found->second.kind);
        if (const auto& credentials = found->second.credentials)
            item.SetCredentials(credentials->m_user, credentials->m_password);
    }
}
