#include "settings/CIniFile.h"

#include "platform/InputFile.h"
#include "settings/AtomicFile.h"

#include <cstdio>
#include <cstring>

namespace {

bool Missing(const char* name) {
    return name == nullptr || *name == '\0';
}

int NormalRadix(int radix) {
    return radix == 2 || radix == 8 || radix == 16 ? radix : 10;
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

// The unsigned conversion of a 32-bit C library: blanks, a sign, digits up to the first non-digit;
// a number too large for 32 bits gives the largest value; a minus sign negates modulo 2^32.
uint32_t ToUnsigned(std::string_view text, int radix, bool* hasDigits = nullptr) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    uint64_t value = 0;
    bool overflow = false;
    if (hasDigits != nullptr)
        *hasDigits = i < text.size() && DigitValue(text[i]) < radix;
    for (; i < text.size() && DigitValue(text[i]) < radix; ++i) {
        value = value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(DigitValue(text[i]));
        if (value > UINT32_MAX) {
            overflow = true;
            value = UINT32_MAX;
        }
    }
    if (overflow)
        return UINT32_MAX;
    return negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(value)) : static_cast<uint32_t>(value);
}

} // namespace

std::optional<IniDocument> CIniFile::Load(std::string* reason) const {
    platform::InputFile file(m_path, platform::InputFile::SmallFileLimit);
    std::string text;
    if (file.IsOpen() && file.ReadRest(text))
        return IniDocument(text);
    if (file.Missing())
        return IniDocument();
    if (reason != nullptr)
        *reason = file.Reason();
    return std::nullopt;
}

bool CIniFile::Store(const IniDocument& document, int* error) const {
    return ReplaceFileAtomically(m_path, document.Text(), error);
}

std::optional<std::string> CIniFile::Value(const char* section, const char* key) const {
    if (Missing(section) || Missing(key))
        return std::nullopt;
    const auto document = Load();
    return document ? document->Get(section, key) : std::nullopt;
}

std::string CIniFile::ReadString(const char* section, const char* key, const char* defaultValue) const {
    auto value = Value(section, key);
    return value ? std::move(*value) : std::string(defaultValue ? defaultValue : "");
}

size_t CIniFile::ReadString(const char* section, const char* key, const char* defaultValue, char* buffer,
                            size_t size) const {
    if (buffer == nullptr || size == 0)
        return 0;
    const std::string value = ReadString(section, key, defaultValue);
    const size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return n;
}

int32_t CIniFile::ReadInt(const char* section, const char* key, int32_t defaultValue, int radix) const {
    return ToInt(Value(section, key), defaultValue, radix);
}

int32_t CIniFile::ToInt(const std::optional<std::string>& value, int32_t defaultValue, int radix) {
    // The value is read into 64 characters; anything after them is not part of the number.
    constexpr size_t IntBufferSize = 64;
    if (!value || value->empty())
        return defaultValue;
    const std::string_view text = std::string_view(*value).substr(0, IntBufferSize);
    return static_cast<int32_t>(ToUnsigned(text, NormalRadix(radix)));
}

bool CIniFile::IsNumber(const std::optional<std::string>& value, int radix) {
    bool hasDigits = true;
    if (value && !value->empty())
        ToUnsigned(*value, NormalRadix(radix), &hasDigits);
    return hasDigits;
}

std::string CIniFile::FromInt(int32_t value, int radix) {
    char text[65] = {};
    const auto bits = static_cast<uint32_t>(value);
    switch (NormalRadix(radix)) {
    case 8:
        std::snprintf(text, sizeof text, "%o", bits);
        return text;
    case 16:
        std::snprintf(text, sizeof text, "%X", bits);
        return text;
    case 2: {
        std::string digits;
        for (uint32_t rest = bits; rest != 0; rest >>= 1)
            digits.insert(digits.begin(), static_cast<char>('0' + (rest & 1)));
        return digits.empty() ? "0" : digits;
    }
    default:
        std::snprintf(text, sizeof text, "%d", value);
        return text;
    }
}

void CIniFile::Write(const char* section, const char* key, const std::string& value) const {
    if (Missing(section) || Missing(key))
        return;
    auto document = Load();
    if (document && document->Set(section, key, value))
        Store(*document);
}

void CIniFile::WriteString(const char* section, const char* key, const char* value) const {
    Write(section, key, value ? value : "");
}

void CIniFile::WriteInt(const char* section, const char* key, int32_t value, int radix) const {
    Write(section, key, FromInt(value, radix));
}
