#include "app/html_writer.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace vyr::test {

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string fixed(double value, int decimals) {
    if (!std::isfinite(value)) return "-";
    char text[64];
    snprintf(text, sizeof text, "%.*f", decimals, value);
    // -0.0 rounds to "-0.0": a reader sees a sign where there is no value below 0.
    if (text[0] == '-' && strspn(text + 1, "0.") == strlen(text + 1)) return text + 1;
    return text;
}

std::string base64(std::string_view bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        size_t left = bytes.size() - i;
        uint32_t group = uint32_t(uint8_t(bytes[i])) << 16;
        if (left > 1) group |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        if (left > 2) group |= uint8_t(bytes[i + 2]);
        out += digits[group >> 18];
        out += digits[(group >> 12) & 63];
        out += left > 1 ? digits[(group >> 6) & 63] : '=';
        out += left > 2 ? digits[group & 63] : '=';
    }
    return out;
}

void HtmlWriter::startTag(const char* name, Attributes attributes) {
    out += '<';
    out += name;
    for (const Attribute& attribute : attributes) {
        out += ' ';
        out += attribute.first;
        out += "=\"";
        out += escapeHtml(attribute.second);
        out += '"';
    }
}

HtmlWriter& HtmlWriter::open(const char* name, Attributes attributes) {
    startTag(name, attributes);
    out += '>';
    openElements.push_back(name);
    if (strcmp(name, "svg") == 0) ++svgDepth;
    return *this;
}

HtmlWriter& HtmlWriter::close() {
    if (openElements.empty()) return *this;
    const char* name = openElements.back();
    openElements.pop_back();
    if (strcmp(name, "svg") == 0) --svgDepth;
    out += "</";
    out += name;
    out += '>';
    // Block elements on lines of their own: the file stays readable as text.
    static const char* const blocks[] = {"body", "div", "figure", "h1", "h2", "h3", "h4", "head", "header",
                                         "li", "p", "section", "style", "svg", "table", "tr", "ul"};
    for (const char* block : blocks)
        if (strcmp(name, block) == 0) out += '\n';
    return *this;
}

HtmlWriter& HtmlWriter::text(std::string_view text) {
    out += escapeHtml(text);
    return *this;
}

HtmlWriter& HtmlWriter::element(const char* name, std::string_view text, Attributes attributes) {
    return open(name, attributes).text(text).close();
}

HtmlWriter& HtmlWriter::empty(const char* name, Attributes attributes) {
    startTag(name, attributes);
    out += svgDepth > 0 ? "/>" : ">";
    return *this;
}

std::string HtmlWriter::finish() {
    while (!openElements.empty()) close();
    return std::move(out);
}

}  // namespace vyr::test
