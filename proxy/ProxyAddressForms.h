#pragma once

#include "proxy/ProxyKind.h"
#include "proxy/ProxyPatterns.h"

#include <cstddef>
#include <optional>
#include <string_view>

class ProxyList;

// The kind and credentials written around a pair the parser found: a scheme before it
// ("socks5://", "socks5h://", "socks4://", "socks4a://", "http://"), "user:password@" before it, or
// ":user:password" after it on the same line. The pairs themselves are the parser's alone: these
// forms only say what the pairs are.
class ProxyAddressForms {
public:
    struct Form {
        std::optional<ProxyKind> kind; // nothing: the list's default kind
        std::optional<ProxyCredentials> credentials;
    };

    // Whether text may hold a form at all. A cheap scan, so that a plain list costs no second pass.
    static bool MayHoldForms(std::string_view text);
    // The form written around a plain match of text; nothing when it is a plain pair.
    static std::optional<Form> FormAround(std::string_view text, const ProxyPatterns::Match& match);
    // Gives the records from position first on the kind and credentials written at the pair's first
    // occurrence with a form, the others defaultKind.
    static void Apply(std::string_view text, ProxyKind defaultKind, ProxyList& list, size_t first);
};
