#pragma once

#include "settings/IniDocument.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Reads and writes the keys of one INI file. Every call reads the file afresh; every write
// replaces the whole file atomically. A missing section or key (a null or empty name) reads as the
// default and writes nothing. Write failures are not reported; they never damage the old file.
class CIniFile {
public:
    explicit CIniFile(std::string path) : m_path(std::move(path)) {}

    const std::string& Path() const { return m_path; }

    // The value however long it is, or the default (a null default is the empty string).
    std::string ReadString(const char* section, const char* key, const char* defaultValue = nullptr) const;
    // Copies the value (or the default) into buffer, at most size bytes including the terminating
    // NUL, and returns the number of characters copied.
    size_t ReadString(const char* section, const char* key, const char* defaultValue, char* buffer, size_t size) const;
    // The value as an unsigned number in radix 2, 8 or 16 (any other radix is 10), taken into a
    // signed field; the default when the value is empty or missing, 0 when it has no digits.
    int32_t ReadInt(const char* section, const char* key, int32_t defaultValue, int radix = 10) const;

    // A null value is written as the empty string.
    void WriteString(const char* section, const char* key, const char* value) const;
    void WriteInt(const char* section, const char* key, int32_t value, int radix = 10) const;

    // Several keys in one go: Load, change the document, Store once.
    // Load gives nothing when the file exists but cannot be read (also when it is no regular file or
    // larger than 16 MiB), with the reason in reason when given; storing would lose its keys.
    std::optional<IniDocument> Load(std::string* reason = nullptr) const;
    // error, when given, gets the errno of a failed store.
    bool Store(const IniDocument& document, int* error = nullptr) const;

    // The conversions of ReadInt and WriteInt, for values taken from a loaded document.
    static int32_t ToInt(const std::optional<std::string>& value, int32_t defaultValue, int radix);
    static std::string FromInt(int32_t value, int radix);
    // False when ToInt gives 0 only because the value holds no digits; a missing or empty value counts
    // as a number, since it gives the default.
    static bool IsNumber(const std::optional<std::string>& value, int radix);

private:
    std::optional<std::string> Value(const char* section, const char* key) const;
    void Write(const char* section, const char* key, const std::string& value) const;

    std::string m_path;
};
