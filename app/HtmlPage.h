#pragma once

#include <optional>
#include <string>
#include <string_view>

// The text of one of our HTML pages, which we own and edit: the panel's element updates are done here on the
// text, and the view re-shows it. Knows just enough HTML for that: tags, quoted attributes, comments and the
// raw text of script and style elements.
class HtmlPage {
public:
    explicit HtmlPage(std::string text = {}) : m_text(std::move(text)) {}

    const std::string& Text() const { return m_text; }

    // Replaces what lies between the start and end tag of the first element whose id is `id` (ids compare
    // exactly, as in the document). Returns false and leaves the text alone when there is no such element or
    // it has no end tag.
    bool SetInnerHtml(std::string_view id, std::string_view html);
    std::optional<std::string> InnerHtml(std::string_view id) const;

    // The text as a simple rich-text view can show it: each pair of a left-floating div and the div after it
    // becomes one row of two cells (left, then right-aligned) that keep the look of the cell holding them.
    // The table row holding the element whose id is leftOutRow is left out: the window shows real controls
    // in its place. The page text itself does not change.
    std::string DisplayText(std::string_view leftOutRow = {}) const;

private:
    struct Range {
        size_t begin = 0;
        size_t end = 0;
    };
    std::optional<Range> FindInner(std::string_view id) const;

    std::string m_text;
};
