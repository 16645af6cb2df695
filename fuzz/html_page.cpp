// Page texts of any shape: an element update must change that element alone, and the display text must
// come out of any text.
#include "app/HtmlPage.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string id = text.substr(size / 2, 4);
    HtmlPage page(text);
    (void)page.DisplayText();

    const auto before = page.InnerHtml(id);
    if (page.SetInnerHtml(id, "Z") != before.has_value())
        std::abort();
    if (before) {
        if (page.InnerHtml(id) != "Z" || page.Text().size() != text.size() - before->size() + 1)
            std::abort();
        (void)page.DisplayText();
    } else if (page.Text() != text) {
        std::abort();
    }
    return 0;
}
