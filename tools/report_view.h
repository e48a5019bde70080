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

// Reads the document leniently: a "<" or "&" that cannot start markup is text,
// an element left open when its parent closes was text too (a path such as
// "a<b>c"), and elements open at the end of the text are closed there.
ResultDocument read_result_document(const std::string& text);

std::string render_html(const ResultDocument& document, const std::string& title);
std::string render_json(const ResultDocument& document);
std::string render_xml(const ResultDocument& document);

// Returns the exit status: 0 done, 1 the document cannot be read or written, 2 wrong arguments.
int view_command(const std::vector<std::string>& args);

// Writes the page for a result document beside it (or to html_path); false with a message on failure.
bool write_html_report(const std::string& xml_path, const std::string& html_path, std::string& error);

}  // namespace quorix
