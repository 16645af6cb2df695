// The settings reader on any bytes: reads of every kind, then an edit must keep every other key.
#include "settings/CIniFile.h"
#include "settings/IniDocument.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const IniDocument document(text);
    const auto judge = document.Get("Settings", "ProxyJudge");
    for (int radix : {2, 8, 10, 16})
        CIniFile::ToInt(document.Get("Settings", "MaxThread"), 80, radix);

    // Names taken from the input itself exercise the matching rules.
    const size_t split = size / 2;
    const std::string section(text.substr(0, split < 8 ? split : 8));
    const std::string key(text.substr(split, 8));
    const auto before = document.Get(section, key);

    IniDocument edited(document.Text());
    if (edited.Get("Settings", "ProxyJudge") != judge)
        std::abort();
    if (edited.Set("Settings", "MaxThread", "42")) {
        const IniDocument reread(edited.Text());
        if (reread.Get("Settings", "MaxThread") != "42" || reread.Get("Settings", "ProxyJudge") != judge)
            std::abort();
    }
    if (edited.Set(section, key, "v") && IniDocument(edited.Text()).Get(section, key) != "v")
        std::abort();
    (void)before;
    return 0;
}
