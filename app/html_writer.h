// A small writer of HTML (and the SVG inside it) for the report page. Every
// text and attribute value passes through escapeHtml here and nowhere else, so
// a driver's string holding markup ("<script>") is shown as text.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vyr::test {

// & < > " ' as character references; everything else as it is (UTF-8).
std::string escapeHtml(std::string_view text);

// A number to `decimals` places ("57.3"); "-" when it is not a number.
std::string fixed(double value, int decimals);

// Bytes as base64, for pictures carried in the page as data: URIs.
std::string base64(std::string_view bytes);

class HtmlWriter {
public:
    using Attribute = std::pair<const char*, std::string>;
    using Attributes = std::initializer_list<Attribute>;

    // <name attributes...>; close() ends the innermost element still open.
    HtmlWriter& open(const char* name, Attributes attributes = {});
    HtmlWriter& close();
    HtmlWriter& text(std::string_view text);
    // <name ...>text</name>
    HtmlWriter& element(const char* name, std::string_view text, Attributes attributes = {});
    // An element without content or end tag (<img>, <meta>) or, in SVG, <rect/>.
    HtmlWriter& empty(const char* name, Attributes attributes = {});
    // The page so far with every element still open closed.
    std::string finish();

private:
    void startTag(const char* name, Attributes attributes);
    std::string out = "<!DOCTYPE html>\n";
    std::vector<const char*> openElements;
    int svgDepth = 0;  // inside <svg>, empty elements end with "/>"
};

}  // namespace vyr::test
