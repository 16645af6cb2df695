#pragma once

#include <string>
#include <string_view>

// Case changes of the single-byte texts that judges send: ASCII letters only, whatever the locale.
inline void ToUpperInPlace(std::string& text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
}

inline std::string ToLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Removes every occurrence of pattern in one left-to-right pass (what is left is not searched again).
inline void RemoveAll(std::string& text, std::string_view pattern) {
    if (pattern.empty() || text.find(pattern) == std::string::npos)
        return;
    std::string kept;
    kept.reserve(text.size());
    size_t from = 0;
    for (size_t found; (found = text.find(pattern, from)) != std::string::npos; from = found + pattern.size())
        kept.append(text, from, found - from);
    kept.append(text, from, std::string::npos);
    text.swap(kept);
}

inline void RemoveChars(std::string& text, std::string_view doomed) {
    std::erase_if(text, [doomed](char c) { return doomed.find(c) != std::string_view::npos; });
}
