// rkstat view: reads an XML result document as the engine writes it (unescaped
// names, no closing root, possibly cut short by an interrupted run) and renders
// it as a self-contained HTML page, as JSON, or as a well-formed XML copy.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quorix {

struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;  // character data directly inside, markup removed
    std::vector<XmlElement> children;
};

struct ResultDocument {
    XmlElement root;        // the document element (RESULTS) with one RESULT per analysis run
    bool complete = false;  // false when the text ends inside a RESULT element
};

// The text of a result document made well-formed, so that an XML parser reads it:
//  - a "<" that starts no tag is "&lt;", a "&" that starts none of the five named
//    entities is "&amp;", and NUL bytes are blanks;
//  - a start tag whose element its parent closes first was text (a path such as
//    "a<b>c"), as is an end tag that closes nothing or nesting deeper than 64;
//  - declarations, comments and anything outside the document element are dropped;
//  - a tag cut short at the end is dropped, and the elements left open are closed.
// complete is false when a RESULT element was left open or a tag was cut short.
struct RepairedText {
    std::string text;
    bool complete = false;
};
RepairedText repair_result_text(const std::string& text);

// Reads the repaired text with pugixml.
ResultDocument read_result_document(const std::string& text);

std::string render_html(const ResultDocument& document, const std::string& title);
std::string render_json(const ResultDocument& document);
std::string render_xml(const ResultDocument& document);

// Returns the exit status: 0 done, 1 the document cannot be read or written, 2 wrong arguments.
int view_command(const std::vector<std::string>& args);

// Writes the page for a result document beside it (or to html_path); false with a message on failure.
bool write_html_report(const std::string& xml_path, const std::string& html_path, std::string& error);

}  // namespace quorix
