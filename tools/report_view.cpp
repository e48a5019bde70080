// rkstat view: repair and parsing of result documents and their HTML, JSON and XML forms.
#include "report_view.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include <pugixml.hpp>

#include "numeric/distributions.h"

namespace quorix {
namespace {

// ---------------------------------------------------------------- reading

bool is_name_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool is_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == ':';
}

// The entity at text[i] ('&'): the character it stands for and its length, or 0 when it is none.
size_t read_entity(const std::string& text, size_t i, std::string& out) {
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}};
    for (const auto& entity : kEntities) {
        const std::string name = entity.first;
        if (text.compare(i, name.size(), name) == 0) {
            out = entity.second;
            return name.size();
        }
    }
    return 0;
}

struct Tag {
    bool closing = false;
    bool empty = false;
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    size_t length = 0;
};

// A start or end tag at text[i] ('<'); false when the '<' cannot start one.
bool read_tag(const std::string& text, size_t i, Tag& tag) {
    size_t p = i + 1;
    if (p < text.size() && text[p] == '/') {
        tag.closing = true;
        ++p;
    }
    if (p >= text.size() || !is_name_start(text[p])) return false;
    const size_t name_start = p;
    while (p < text.size() && is_name_char(text[p])) ++p;
    tag.name = text.substr(name_start, p - name_start);
    for (;;) {
        while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
        if (p >= text.size()) return false;
        if (text[p] == '>') break;
        if (!tag.closing && text[p] == '/' && p + 1 < text.size() && text[p + 1] == '>') {
            tag.empty = true;
            ++p;
            break;
        }
        if (tag.closing || !is_name_start(text[p])) return false;
        const size_t attribute_start = p;
        while (p < text.size() && is_name_char(text[p])) ++p;
        const std::string attribute = text.substr(attribute_start, p - attribute_start);
        if (p + 1 >= text.size() || text[p] != '=' || (text[p + 1] != '"' && text[p + 1] != '\'')) return false;
        const char quote = text[p + 1];
        const size_t value_end = text.find(quote, p + 2);
        if (value_end == std::string::npos || text.find_first_of("<\n", p + 2) < value_end) return false;
        tag.attributes.emplace_back(attribute, text.substr(p + 2, value_end - p - 2));
        p = value_end + 1;
    }
    tag.length = p + 1 - i;
    return true;
}

std::string trim(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return "";
    return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

bool parse_number(const std::string& text, double& value) {
    const std::string t = trim(text);
    if (t.empty()) return false;
    char* end = nullptr;
    value = std::strtod(t.c_str(), &end);
    return end == t.c_str() + t.size() && std::isfinite(value) &&
           t.find_first_of("xXnNiI") == std::string::npos;  // no hex, nan or inf words
}

}  // namespace

RepairedText repair_result_text(const std::string& text) {
    RepairedText repaired;
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    struct OpenElement {
        std::string name;
        size_t at;  // where its '<' is in out
    };
    std::vector<OpenElement> open;
    std::vector<size_t> start_tags_as_text;  // positions in out of '<' to write as "&lt;"
    bool cut_inside_markup = false;
    bool root_closed = false;
    // Nesting deeper than any result document is text, which keeps the recursive renderers bounded.
    constexpr size_t kMaxDepth = 64;
    size_t i = 0;
    while (i < text.size() && !root_closed) {
        const char c = text[i];
        if (c == '<' && (text.compare(i, 2, "<?") == 0 || text.compare(i, 4, "<!--") == 0)) {
            // Declarations and comments carry no results: dropped.
            const bool comment = text[i + 1] == '!';
            const size_t end = text.find(comment ? "-->" : "?>", i + (comment ? 4 : 2));
            if (end == std::string::npos) {
                cut_inside_markup = true;
                break;
            }
            i = end + (comment ? 3 : 2);
            continue;
        }
        Tag tag;
        if (c == '<' && read_tag(text, i, tag) && (tag.closing || open.size() < kMaxDepth)) {
            i += tag.length;
            if (tag.closing) {
                size_t depth = open.size();
                while (depth > 0 && open[depth - 1].name != tag.name) --depth;
                if (depth == 0) {  // closes nothing: text
                    if (!open.empty()) out += "&lt;" + text.substr(i - tag.length + 1, tag.length - 1);
                    continue;
                }
                while (open.size() > depth) {  // never closed: it was text
                    start_tags_as_text.push_back(open.back().at);
                    open.pop_back();
                }
                open.pop_back();
                out += "</" + tag.name + ">";
                root_closed = open.empty();
            } else {
                const size_t at = out.size();
                out += "<" + tag.name;
                std::vector<std::string> names;
                for (const auto& attribute : tag.attributes) {
                    if (std::find(names.begin(), names.end(), attribute.first) != names.end()) continue;
                    names.push_back(attribute.first);
                    out += " " + attribute.first + "=\"";
                    for (size_t k = 0; k < attribute.second.size(); ++k) {
                        std::string decoded;
                        const char a = attribute.second[k];
                        if (a == '"') out += "&quot;";
                        else if (a == '&' && read_entity(attribute.second, k, decoded) == 0) out += "&amp;";
                        else out += a;
                    }
                    out += "\"";
                }
                out += tag.empty ? "/>" : ">";
                if (!tag.empty) open.push_back(OpenElement{tag.name, at});
            }
            continue;
        }
        if (c == '<' && i + 1 < text.size() && text.find('>', i) == std::string::npos &&
            (is_name_start(text[i + 1]) || text[i + 1] == '/')) {
            cut_inside_markup = true;  // a tag cut short at the end of the text
            break;
        }
        ++i;
        if (open.empty()) continue;  // text outside the document element
        std::string decoded;
        if (c == '<') {
            out += "&lt;";
        } else if (c == '&') {
            const size_t entity = read_entity(text, i - 1, decoded);
            out += entity > 0 ? text.substr(i - 1, entity) : "&amp;";
            i += entity > 0 ? entity - 1 : 0;
        } else {
            out += c == '\0' ? ' ' : c;
        }
    }
    // Elements open at the end: a RESULT still open means the run was cut short.
    bool result_open = false;
    for (const OpenElement& element : open) result_open = result_open || element.name == "RESULT";
    for (size_t d = open.size(); d > 0; --d) out += "</" + open[d - 1].name + ">";
    std::sort(start_tags_as_text.begin(), start_tags_as_text.end());
    repaired.text.reserve(out.size() + 3 * start_tags_as_text.size());
    size_t copied = 0;
    for (size_t at : start_tags_as_text) {
        repaired.text.append(out, copied, at - copied);
        repaired.text += "&lt;";
        copied = at + 1;
    }
    repaired.text.append(out, copied, std::string::npos);
    repaired.complete = !result_open && !cut_inside_markup;
    return repaired;
}

namespace {

void copy_element(const pugi::xml_node& node, XmlElement& element) {
    element.name = node.name();
    for (const pugi::xml_attribute& attribute : node.attributes())
        element.attributes.emplace_back(attribute.name(), attribute.value());
    for (const pugi::xml_node& child : node.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            element.text += child.value();
        } else if (child.type() == pugi::node_element) {
            element.children.emplace_back();
            copy_element(child, element.children.back());  // depth bounded by the repair
        }
    }
}

}  // namespace

ResultDocument read_result_document(const std::string& text) {
    const RepairedText repaired = repair_result_text(text);
    ResultDocument document;
    pugi::xml_document parsed;
    const pugi::xml_parse_result result =
        parsed.load_buffer(repaired.text.data(), repaired.text.size(), pugi::parse_escapes | pugi::parse_ws_pcdata,
                           pugi::encoding_utf8);
    // The repaired text is well-formed; should the parser still object, what it read is shown as incomplete.
    const bool parsed_whole = result.status == pugi::status_ok || result.status == pugi::status_no_document_element;
    if (const pugi::xml_node root = parsed.document_element()) copy_element(root, document.root);
    if (document.root.name.empty()) document.root.name = "RESULTS";
    document.complete = repaired.complete && parsed_whole;
    return document;
}

namespace {

// ---------------------------------------------------------------- helpers

std::string escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control bytes are not allowed in XML or HTML text.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' && c != '\r')
                out += ' ';
            else
                out += c;
        }
    }
    return out;
}

std::string format(const char* pattern, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

bool is_leaf(const XmlElement& element) { return element.children.empty(); }

const XmlElement* child(const XmlElement& element, const std::string& name) {
    for (const XmlElement& c : element.children)
        if (c.name == name) return &c;
    return nullptr;
}

std::string child_text(const XmlElement& element, const std::string& name) {
    const XmlElement* c = child(element, name);
    return c ? trim(c->text) : "";
}

double child_number(const XmlElement& element, const std::string& name, bool& ok) {
    double value = 0;
    if (!parse_number(child_text(element, name), value)) ok = false;
    return value;
}

std::vector<std::string> texts_of(const XmlElement* element) {
    std::vector<std::string> texts;
    if (element)
        for (const XmlElement& c : element->children) texts.push_back(trim(c.text));
    return texts;
}

bool is_p_value_name(const std::string& name) {
    return name == "pValue" || name == "TwoTailTbl" || name == "pValTbl" || name == "pVal";
}

// A table cell: numbers right-aligned, p-values below 0.05 marked.
std::string cell_html(const std::string& raw, bool p_values, const char* tag = "td") {
    const std::string text = trim(raw);
    double value = 0;
    if (!parse_number(text, value)) return std::string("<") + tag + ">" + escape(text) + "</" + tag + ">";
    if (p_values && value < 0.05)
        return std::string("<") + tag + " class=\"num sig\" title=\"below 0.05\">" + escape(text) +
               "<span aria-hidden=\"true\">&#8201;*</span></" + tag + ">";
    return std::string("<") + tag + " class=\"num\">" + escape(text) + "</" + tag + ">";
}

const std::map<std::string, std::string>& column_titles() {
    static const std::map<std::string, std::string> titles = {
        {"ID", "Variable no."}, {"Name", "Name"}, {"Cases", "Cases"}, {"Mean", "Mean"}, {"Sum", "Sum"},
        {"SSQRE", "Sum of squares"}, {"STD", "Std. deviation"}, {"Median", "Median"},
        {"OneQRT", "First quartile"}, {"ThirdQRT", "Third quartile"}, {"Min", "Minimum"}, {"Max", "Maximum"},
        {"Range", "Range"}, {"Skewness", "Skewness"}, {"Kurtosis", "Kurtosis"}, {"sName", "Source"},
        {"SS", "Sum of squares"}, {"DF", "df"}, {"df", "df"}, {"MeanSqr", "Mean square"}, {"fValue", "F"},
        {"pValue", "p"}, {"DMean", "Hypothesised mean"}, {"tStat", "t"}, {"CatName", "Label"},
        {"CatVAL", "Value"}, {"OutOfRange", "Out of range"}, {"Count", "Count"}, {"CellPercnt", "Percent"},
        {"CumPercnt", "Cumulative percent"}, {"ChiSqre", "Chi-square"}, {"name", "Statistic"},
        {"SSLoad", "Sum of squared loadings"}, {"Percent", "Percent"}, {"Cumulative", "Cumulative percent"},
        {"GroupId", "Group"}, {"Frequency", "Cases"}, {"RankSum", "Rank sum"}, {"MeanRank", "Mean rank"},
        {"VarName", "Variable"}, {"RankMean", "Mean rank"},
        {"MeanRankDiff", "Mean rank difference"}, {"StdErr", "Std. error"}, {"zValue", "z"},
        {"Iteration", "Iteration"}, {"LogLik", "Log likelihood"}};
    return titles;
}

std::string column_title(const std::string& name) {
    const auto found = column_titles().find(name);
    const std::string title = found == column_titles().end() ? name : found->second;
    return "<th scope=\"col\" title=\"" + escape(name) + "\">" + escape(title) + "</th>";
}

const char* analysis_title(const std::string& kind) {
    static const std::map<std::string, const char*> titles = {
        {"Descriptive", "Descriptive statistics"}, {"Frequency", "Frequency tables"},
        {"TTEST1", "One-sample t-test"}, {"TTEST2", "Paired t-test"}, {"TTEST3", "Matched t-test"},
        {"TTEST4", "Independent t-test"}, {"CrossTab2", "Cross tabulation"}, {"ANOVA1", "One-way ANOVA"},
        {"ANOVA2", "Two-way ANOVA"}, {"Correlation Analysis", "Correlation"}, {"Factor", "Factor analysis"},
        {"SignTest", "Sign test"}, {"Wilcoxon", "Wilcoxon signed-rank test"}, {"Kendall", "Kendall rank correlation"},
        {"Spearman", "Spearman rank correlation"}, {"Friedman", "Friedman test"},
        {"StdMulReg", "Multiple regression"}, {"StepMulRegF", "Forward stepwise regression"},
        {"StepMulRegB", "Backward stepwise regression"}, {"HierMulReg", "Hierarchical regression"},
        {"GLM", "General linear model"},
        {"MisDiag", "Missing-data diagnosis"}, {"MisEM", "EM estimation of means and covariances"},
        {"MisMean", "Mean imputation"},
        {"Kolmogorov", "Two-sample Kolmogorov-Smirnov test"}, {"Kruskal", "Kruskal-Wallis test"}};
    const auto found = titles.find(kind);
    return found == titles.end() ? nullptr : found->second;
}

// ---------------------------------------------------------------- charts

constexpr size_t kMaxChartRows = 200;     // bars, boxes and means drawn; the table keeps every row
constexpr size_t kMaxHeatMapSide = 60;    // heat map cells per side

std::string svg_open(double width, double height, const std::string& label) {
    return "<figure class=\"chart\" style=\"max-width:" + format("%.0f", width) + "px\"><svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + format("%.0f", width) +
           " " + format("%.0f", height) + "\" width=\"" + format("%.0f", width) + "\" role=\"img\" aria-label=\"" +
           escape(label) + "\"><title>" + escape(label) + "</title>";
}

std::string svg_close(const std::string& caption) {
    return "</svg><figcaption>" + escape(caption) + "</figcaption></figure>\n";
}

std::string svg_text(double x, double y, const std::string& text, const char* anchor = "start",
                     const char* extra = "") {
    return "<text x=\"" + format("%.1f", x) + "\" y=\"" + format("%.1f", y) + "\" text-anchor=\"" + anchor + "\"" +
           extra + ">" + escape(text) + "</text>";
}

std::string svg_line(double x1, double y1, double x2, double y2, const char* style) {
    return "<line x1=\"" + format("%.1f", x1) + "\" y1=\"" + format("%.1f", y1) + "\" x2=\"" + format("%.1f", x2) +
           "\" y2=\"" + format("%.1f", y2) + "\" " + style + "/>";
}

std::string svg_rect(double x, double y, double w, double h, const std::string& style, const std::string& tip) {
    return "<rect x=\"" + format("%.1f", x) + "\" y=\"" + format("%.1f", y) + "\" width=\"" +
           format("%.1f", std::max(w, 0.0)) + "\" height=\"" + format("%.1f", std::max(h, 0.0)) + "\" " + style +
           "><title>" + escape(tip) + "</title></rect>";
}

// A chart label: runs of blanks (fixed-width fields) collapsed, long names cut.
std::string shorten(const std::string& raw, size_t limit = 24) {
    std::string text;
    for (char c : raw)
        if (c != ' ' || (!text.empty() && text.back() != ' ')) text += c;
    if (!text.empty() && text.back() == ' ') text.pop_back();
    return text.size() <= limit ? text : text.substr(0, limit - 1) + "~";
}

struct Scale {
    double low = 0, high = 1, left = 0, right = 1;
    double at(double v) const { return high > low ? left + (v - low) / (high - low) * (right - left) : left; }
};

Scale make_scale(double low, double high, double left, double right) {
    if (!(high > low)) {
        low -= 1;
        high += 1;
    }
    const double pad = (high - low) * 0.04;
    return Scale{low - pad, high + pad, left, right};
}

// Axis along the bottom with five ticks.
std::string axis(const Scale& scale, double y) {
    std::string out = svg_line(scale.left, y, scale.right, y, "class=\"axis\"");
    for (int k = 0; k <= 4; ++k) {
        const double v = scale.low + (scale.high - scale.low) * k / 4.0;
        out += svg_line(scale.at(v), y, scale.at(v), y + 4, "class=\"axis\"");
        out += svg_text(scale.at(v), y + 16, format("%.4g", std::fabs(v) < 1e-12 ? 0.0 : v), "middle");
    }
    return out;
}

struct Interval {
    std::string label;
    double low, middle, high;
};

// Horizontal intervals with a dot at the middle (means with standard errors, confidence limits).
std::string interval_chart(const std::vector<Interval>& rows, const std::string& label, const std::string& caption) {
    if (rows.empty()) return "";
    const size_t n = std::min(rows.size(), kMaxChartRows);
    double low = rows[0].low, high = rows[0].high;
    for (size_t i = 0; i < n; ++i) low = std::min(low, rows[i].low), high = std::max(high, rows[i].high);
    const double height = 24.0 * static_cast<double>(n) + 40;
    const Scale scale = make_scale(low, high, 160, 620);
    std::string out = svg_open(640, height, label);
    for (size_t i = 0; i < n; ++i) {
        const double y = 20 + 24.0 * static_cast<double>(i);
        const Interval& r = rows[i];
        out += svg_text(152, y + 4, shorten(r.label), "end");
        out += svg_line(scale.at(r.low), y, scale.at(r.high), y, "class=\"whisker\"");
        out += svg_line(scale.at(r.low), y - 5, scale.at(r.low), y + 5, "class=\"whisker\"");
        out += svg_line(scale.at(r.high), y - 5, scale.at(r.high), y + 5, "class=\"whisker\"");
        out += "<circle cx=\"" + format("%.1f", scale.at(r.middle)) + "\" cy=\"" + format("%.1f", y) +
               "\" r=\"4\" class=\"mark\"><title>" + escape(r.label + ": " + format("%g", r.middle) + " (" +
                                                            format("%g", r.low) + " to " + format("%g", r.high) + ")") +
               "</title></circle>";
    }
    out += axis(scale, height - 22);
    return out + svg_close(caption);
}

struct Box {
    std::string label;
    double min, q1, median, q3, max;
};

std::string box_plot(const std::vector<Box>& boxes, bool shared_scale) {
    if (boxes.empty()) return "";
    const size_t n = std::min(boxes.size(), kMaxChartRows);
    double low = boxes[0].min, high = boxes[0].max;
    for (size_t i = 0; i < n; ++i) low = std::min(low, boxes[i].min), high = std::max(high, boxes[i].max);
    const double row = 34;
    const double height = row * static_cast<double>(n) + (shared_scale ? 40 : 10);
    std::string out = svg_open(640, height, "Box plot of minimum, quartiles, median and maximum");
    for (size_t i = 0; i < n; ++i) {
        const Box& b = boxes[i];
        const double y = 18 + row * static_cast<double>(i);
        const Scale scale = shared_scale ? make_scale(low, high, 160, 580) : make_scale(b.min, b.max, 160, 580);
        out += svg_text(152, y + 4, shorten(b.label), "end");
        out += svg_line(scale.at(b.min), y, scale.at(b.q1), y, "class=\"whisker\"");
        out += svg_line(scale.at(b.q3), y, scale.at(b.max), y, "class=\"whisker\"");
        out += svg_line(scale.at(b.min), y - 6, scale.at(b.min), y + 6, "class=\"whisker\"");
        out += svg_line(scale.at(b.max), y - 6, scale.at(b.max), y + 6, "class=\"whisker\"");
        out += svg_rect(scale.at(b.q1), y - 9, scale.at(b.q3) - scale.at(b.q1), 18, "class=\"box\"",
                        b.label + ": quartiles " + format("%g", b.q1) + " to " + format("%g", b.q3));
        out += svg_line(scale.at(b.median), y - 9, scale.at(b.median), y + 9, "class=\"median\"");
        if (!shared_scale) {
            out += svg_text(scale.at(b.min), y + 19, format("%g", b.min), "middle", " class=\"small\"");
            out += svg_text(scale.at(b.max), y + 19, format("%g", b.max), "middle", " class=\"small\"");
        }
    }
    if (shared_scale) out += axis(make_scale(low, high, 160, 580), height - 22);
    return out + svg_close(shared_scale ? "Box plots on one scale: whiskers to minimum and maximum, box from first to "
                                          "third quartile, line at the median."
                                        : "Each variable on its own scale (minimum and maximum printed): box from first "
                                          "to third quartile, line at the median.");
}

struct Bar {
    std::string label;
    double value;
    const char* style;  // class of the bar
};

std::string bar_chart(const std::vector<Bar>& bars, const std::string& label, const std::string& caption) {
    if (bars.empty()) return "";
    const size_t n = std::min(bars.size(), kMaxChartRows);
    double high = 0, low = 0;
    for (size_t i = 0; i < n; ++i) high = std::max(high, bars[i].value), low = std::min(low, bars[i].value);
    const double row = 20;
    const double height = row * static_cast<double>(n) + 36;
    Scale scale = make_scale(low, high, 160, 600);
    if (low >= 0) scale.low = 0;  // bars start at zero
    std::string out = svg_open(640, height, label);
    for (size_t i = 0; i < n; ++i) {
        const double y = 8 + row * static_cast<double>(i);
        const double x0 = scale.at(0), x1 = scale.at(bars[i].value);
        out += svg_text(152, y + 11, shorten(bars[i].label), "end");
        out += svg_rect(std::min(x0, x1), y, std::fabs(x1 - x0), row - 5,
                        std::string("class=\"") + bars[i].style + "\"", bars[i].label + ": " + format("%g", bars[i].value));
    }
    out += axis(scale, height - 24);
    std::string note = caption;
    if (bars.size() > n) note += " The first " + std::to_string(n) + " of " + std::to_string(bars.size()) + " are drawn.";
    return out + svg_close(note);
}

// Colour of a heat-map cell: blue for negative, red for positive values of the scale.
std::string heat_colour(double value, double extent) {
    double t = extent > 0 ? value / extent : 0;
    t = std::max(-1.0, std::min(1.0, t));
    const double fade = 1 - std::fabs(t);
    const int r = static_cast<int>(t > 0 ? 200 + 55 * fade : 40 + 215 * fade);
    const int g = static_cast<int>(60 + 195 * fade);
    const int b = static_cast<int>(t > 0 ? 40 + 215 * fade : 200 + 55 * fade);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", r, g, b);
    return buffer;
}

struct Grid {
    std::vector<std::string> row_labels, column_labels;
    std::vector<std::vector<double>> values;  // NaN for an empty cell
};

std::string heat_map(const Grid& grid, bool signed_scale, const std::string& label, const std::string& caption) {
    const size_t rows = std::min(grid.values.size(), kMaxHeatMapSide);
    size_t columns = std::min(grid.column_labels.size(), kMaxHeatMapSide);
    if (rows == 0 || columns == 0) return "";
    double extent = 0;
    for (size_t i = 0; i < rows; ++i)
        for (size_t j = 0; j < columns && j < grid.values[i].size(); ++j)
            if (!std::isnan(grid.values[i][j])) extent = std::max(extent, std::fabs(grid.values[i][j]));
    if (signed_scale && extent <= 1.0) extent = 1.0;  // correlations keep their natural scale
    const double cell = std::max(10.0, std::min(48.0, 480.0 / static_cast<double>(std::max(rows, columns))));
    const bool write_values = cell >= 34;
    size_t longest = 1;
    for (size_t j = 0; j < columns; ++j) longest = std::max(longest, std::min<size_t>(14, grid.column_labels[j].size()));
    const double left = 130, top = 16 + 5.5 * static_cast<double>(longest);
    const double width = left + cell * static_cast<double>(columns) + 10;
    const double height = top + cell * static_cast<double>(rows) + 10;
    std::string out = svg_open(width, height, label);
    for (size_t j = 0; j < columns; ++j) {
        const double x = left + cell * (static_cast<double>(j) + 0.5);
        out += "<text transform=\"translate(" + format("%.1f", x) + "," + format("%.1f", top - 6) +
               ") rotate(-45)\">" + escape(shorten(grid.column_labels[j], 14)) + "</text>";
    }
    for (size_t i = 0; i < rows; ++i) {
        const double y = top + cell * static_cast<double>(i);
        out += svg_text(left - 6, y + cell * 0.6, shorten(i < grid.row_labels.size() ? grid.row_labels[i] : "", 16), "end");
        for (size_t j = 0; j < columns && j < grid.values[i].size(); ++j) {
            const double v = grid.values[i][j];
            if (std::isnan(v)) continue;
            const double x = left + cell * static_cast<double>(j);
            out += svg_rect(x, y, cell - 1, cell - 1, "fill=\"" + heat_colour(v, extent) + "\"",
                            (i < grid.row_labels.size() ? grid.row_labels[i] : "") + " / " + grid.column_labels[j] +
                                ": " + format("%g", v));
            if (write_values)
                out += svg_text(x + cell / 2, y + cell * 0.6, format("%.3g", v), "middle", " class=\"small\"");
        }
    }
    std::string note = caption;
    if (grid.values.size() > rows || grid.column_labels.size() > columns)
        note += " The first " + std::to_string(kMaxHeatMapSide) + " rows and columns are drawn.";
    return out + svg_close(note);
}

std::string scree_plot(const std::vector<double>& eigenvalues, double cutoff, bool has_cutoff) {
    if (eigenvalues.empty()) return "";
    const size_t n = std::min(eigenvalues.size(), kMaxChartRows);
    double high = has_cutoff ? cutoff : 0;
    for (size_t i = 0; i < n; ++i) high = std::max(high, eigenvalues[i]);
    const double left = 50, right = 620, top = 14, bottom = 200;
    Scale y = make_scale(0, high, bottom, top);
    y.low = 0;
    const double step = n > 1 ? (right - left) / static_cast<double>(n - 1) : 0;
    std::string out = svg_open(640, 240, "Scree plot of the eigenvalues");
    for (int k = 0; k <= 4; ++k) {
        const double v = y.low + (y.high - y.low) * k / 4.0;
        out += svg_line(left - 4, y.at(v), left, y.at(v), "class=\"axis\"");
        out += svg_text(left - 8, y.at(v) + 4, format("%.3g", std::fabs(v) < 1e-12 ? 0.0 : v), "end");
    }
    out += svg_line(left, top, left, bottom, "class=\"axis\"") + svg_line(left, bottom, right, bottom, "class=\"axis\"");
    if (has_cutoff) {
        out += svg_line(left, y.at(cutoff), right, y.at(cutoff), "class=\"cutoff\"");
        out += svg_text(right, y.at(cutoff) - 4, "cut-off " + format("%g", cutoff), "end");
    }
    std::string points;
    for (size_t i = 0; i < n; ++i) {
        const double x = left + step * static_cast<double>(i);
        points += format("%.1f", x) + "," + format("%.1f", y.at(eigenvalues[i])) + " ";
        out += svg_text(x, bottom + 16, std::to_string(i + 1), "middle");
    }
    out += "<polyline points=\"" + points + "\" class=\"series\"/>";
    for (size_t i = 0; i < n; ++i)
        out += "<circle cx=\"" + format("%.1f", left + step * static_cast<double>(i)) + "\" cy=\"" +
               format("%.1f", y.at(eigenvalues[i])) + "\" r=\"4\" class=\"mark\"><title>" +
               escape("eigenvalue " + std::to_string(i + 1) + ": " + format("%g", eigenvalues[i])) + "</title></circle>";
    out += svg_text((left + right) / 2, 236, "component", "middle");
    return out + svg_close("Eigenvalues of the correlation matrix in order; the dashed line is the cut-off.");
}

// A series against a whole count (log likelihood by iteration): y axis with five ticks, a mark at each point.
std::string line_chart(const std::vector<std::pair<double, double>>& points, const std::string& x_title,
                       const std::string& label, const std::string& caption) {
    if (points.empty()) return "";
    const size_t n = std::min(points.size(), kMaxChartRows);
    double x_low = points[0].first, x_high = points[0].first, y_low = points[0].second, y_high = points[0].second;
    for (size_t i = 0; i < n; ++i) {
        x_low = std::min(x_low, points[i].first), x_high = std::max(x_high, points[i].first);
        y_low = std::min(y_low, points[i].second), y_high = std::max(y_high, points[i].second);
    }
    const double left = 80, right = 620, top = 14, bottom = 200;
    const Scale x = make_scale(x_low, x_high, left + 10, right - 10);
    const Scale y = make_scale(y_low, y_high, bottom, top);
    std::string out = svg_open(640, 240, label);
    for (int k = 0; k <= 4; ++k) {
        const double v = y.low + (y.high - y.low) * k / 4.0;
        out += svg_line(left - 4, y.at(v), left, y.at(v), "class=\"axis\"");
        out += svg_text(left - 8, y.at(v) + 4, format("%.6g", std::fabs(v) < 1e-12 ? 0.0 : v), "end");
    }
    // Whole counts along the bottom: the first, the last and three between.
    for (int k = 0; k <= 4; ++k) {
        const double u = std::round(x_low + (x_high - x_low) * k / 4.0);
        if (k > 0 && u == std::round(x_low + (x_high - x_low) * (k - 1) / 4.0)) continue;
        out += svg_line(x.at(u), bottom, x.at(u), bottom + 4, "class=\"axis\"");
        out += svg_text(x.at(u), bottom + 16, format("%.0f", u), "middle");
    }
    out += svg_line(left, top, left, bottom, "class=\"axis\"") + svg_line(left, bottom, right, bottom, "class=\"axis\"");
    std::string line;
    for (size_t i = 0; i < n; ++i) line += format("%.1f", x.at(points[i].first)) + "," + format("%.1f", y.at(points[i].second)) + " ";
    out += "<polyline points=\"" + line + "\" class=\"series\"/>";
    for (size_t i = 0; i < n; ++i)
        out += "<circle cx=\"" + format("%.1f", x.at(points[i].first)) + "\" cy=\"" + format("%.1f", y.at(points[i].second)) +
               "\" r=\"3\" class=\"mark\"><title>" +
               escape(x_title + " " + format("%g", points[i].first) + ": " + format("%.10g", points[i].second)) +
               "</title></circle>";
    out += svg_text((left + right) / 2, 236, x_title, "middle");
    std::string note = caption;
    if (points.size() > n) note += " The first " + std::to_string(n) + " of " + std::to_string(points.size()) + " are drawn.";
    return out + svg_close(note);
}

// ---------------------------------------------------------------- tables

bool all_named(const XmlElement& element, const char* name) {
    if (element.children.empty()) return false;
    for (const XmlElement& c : element.children)
        if (c.name != name) return false;
    return true;
}

// Rows written as <line> elements, the matrix writers closing with a <text/> line.
bool is_line_table(const XmlElement& element) {
    bool lines = false;
    for (const XmlElement& c : element.children) {
        if (c.name != "line" && c.name != "text") return false;
        lines = lines || c.name == "line";
    }
    return lines;
}

bool is_cell_line(const XmlElement& line) { return !line.children.empty() && all_named(line, "cell"); }

// A table of <line> elements of <cell>s (the matrix writers): the first line is the header when
// its first cell is blank.
std::string cell_table(const XmlElement& table, bool p_values, const std::vector<std::string>& row_labels = {},
                       const std::vector<std::string>& column_labels = {}) {
    std::string out = "<div class=\"scroll\"><table>";
    if (!column_labels.empty()) {
        out += "<thead><tr><td></td>";
        for (const std::string& label : column_labels) out += "<th scope=\"col\">" + escape(label) + "</th>";
        out += "</tr></thead>\n";
    }
    size_t row = 0;
    bool first = true;
    double probe = 0;
    for (const XmlElement& line : table.children) {
        if (line.name != "line") continue;
        const bool header = first && !line.children.empty() && trim(line.children[0].text).empty();
        out += header ? "<thead><tr>" : "<tr>";
        if (!header && !row_labels.empty())
            out += "<th scope=\"row\">" + escape(row < row_labels.size() ? row_labels[row] : "") + "</th>";
        if (!header) ++row;
        for (size_t j = 0; j < line.children.size(); ++j) {
            const std::string& text = line.children[j].text;
            if (header)
                out += "<th scope=\"col\">" + escape(trim(text)) + "</th>";
            else if (j == 0 && !trim(text).empty() && !parse_number(text, probe))
                out += "<th scope=\"row\">" + escape(trim(text)) + "</th>";
            else
                out += cell_html(text, p_values);
        }
        out += header ? "</tr></thead>\n" : "</tr>\n";
        first = false;
    }
    return out + "</table></div>\n";
}

// Rows of records (<line> or <Item> with named leaf fields): one column per field name.
std::string record_table(const std::vector<const XmlElement*>& rows) {
    std::vector<std::string> columns;
    for (const XmlElement* row : rows)
        for (const XmlElement& field : row->children)
            if (is_leaf(field) && std::find(columns.begin(), columns.end(), field.name) == columns.end())
                columns.push_back(field.name);
    std::string out = "<div class=\"scroll\"><table><thead><tr>";
    for (const std::string& column : columns) out += column_title(column);
    out += "</tr></thead>\n";
    for (const XmlElement* row : rows) {
        out += "<tr>";
        for (const std::string& column : columns) {
            const XmlElement* field = child(*row, column);
            out += field ? cell_html(field->text, is_p_value_name(column)) : "<td></td>";
        }
        out += "</tr>\n";
    }
    return out + "</table></div>\n";
}

std::string text_lines(const XmlElement& element) {
    std::string out = "<pre class=\"message\">";
    if (!trim(element.text).empty()) out += escape(trim(element.text)) + "\n";
    for (const XmlElement& line : element.children) out += escape(trim(line.text)) + "\n";
    return out + "</pre>\n";
}

struct RenderContext {
    std::string kind;
    const XmlElement* result = nullptr;
    double residual_df = 0;  // of the regression whose ANOVA table came last, for coefficient intervals
};

std::string render_element(const XmlElement& element, const RenderContext& context, int depth);

std::vector<Box> boxes_of(const std::vector<const XmlElement*>& items) {
    std::vector<Box> boxes;
    for (const XmlElement* item : items) {
        bool ok = true;
        Box b{child_text(*item, "Name"), child_number(*item, "Min", ok), child_number(*item, "OneQRT", ok),
              child_number(*item, "Median", ok), child_number(*item, "ThirdQRT", ok), child_number(*item, "Max", ok)};
        if (ok && child_number(*item, "Cases", ok) > 0 && ok) boxes.push_back(b);
    }
    return boxes;
}

std::vector<Interval> means_of(const std::vector<const XmlElement*>& items) {
    std::vector<Interval> rows;
    for (const XmlElement* item : items) {
        bool ok = true;
        const double mean = child_number(*item, "Mean", ok), sd = child_number(*item, "STD", ok);
        const double cases = child_number(*item, "Cases", ok);
        if (!ok || cases < 1) continue;
        const double error = sd / std::sqrt(cases);
        rows.push_back(Interval{child_text(*item, "Name"), mean - error, mean, mean + error});
    }
    return rows;
}

std::string frequency_bars(const XmlElement& item) {
    std::vector<Bar> bars;
    for (const XmlElement& cat : item.children) {
        if (cat.name != "CAT") continue;
        bool ok = true;
        const double count = child_number(cat, "Count", ok);
        if (!ok) continue;
        const std::string value = child_text(cat, "CatVAL"), name = child_text(cat, "CatName");
        const std::string mark = child_text(cat, "OutOfRange");
        const char* style = "bar";
        if (value == "MISSING" || value == "VARMISS") style = "bar missing";
        if (!mark.empty()) style = "bar outside";
        std::string label = name.empty() || name == value ? value : name + " (" + value + ")";
        if (!mark.empty()) label = mark + " " + label;
        bars.push_back(Bar{label, count, style});
    }
    return bar_chart(bars, "Counts of " + child_text(item, "Name"),
                     "Counts per category; out-of-range values in orange (marked < or >), missing in grey.");
}

// The t value exceeded in size with probability 0.05 on df degrees of freedom: the tail
// P(|T| > t) = I_{df/(df+t^2)}(df/2, 1/2), decreasing in t, solved by bisection.
double t_two_sided_5_percent(double df) {
    double low = 0, high = 1000;
    for (int k = 0; k < 100; ++k) {
        const double t = (low + high) / 2;
        const double tail = incomplete_beta(1, df / (df + t * t), df / 2, 0.5);
        (tail > 0.05 ? low : high) = t;
    }
    return (low + high) / 2;
}

// The residual df of an ANOVA table of a regression (its RESIDUAL row); 0 when it has none.
double residual_df_of(const XmlElement& table) {
    for (const XmlElement& line : table.children) {
        double df = 0;
        if (trim(child_text(line, "sName")) == "RESIDUAL" && parse_number(child_text(line, "DF"), df)) return df;
    }
    return 0;
}

// Parameters of a regression or a general linear model as one table, and each estimate with
// its confidence interval: the document's limits, or coefficient +- t x standard error.
std::string parameter_table(const XmlElement& element, const RenderContext& context, int depth) {
    std::string fields;
    std::vector<const XmlElement*> rows;
    for (const XmlElement& c : element.children) {
        if (c.name == "line" && !c.children.empty())
            rows.push_back(&c);
        else if (c.name != "line" && c.name != "text")
            fields += render_element(c, context, depth + 1);
    }
    const double df = context.residual_df;
    const double t = df >= 1 && df < 1e9 ? t_two_sided_5_percent(df) : 0;
    std::vector<Interval> intervals;
    std::string level = "95";
    bool limits_given = false;
    for (const XmlElement* row : rows) {
        bool ok = true;
        if (child(*row, "ConfIntLow")) {
            limits_given = true;
            const Interval interval{child_text(*row, "Name"), child_number(*row, "ConfIntLow", ok),
                                    child_number(*row, "Value", ok), child_number(*row, "ConfIntHi", ok)};
            if (ok) intervals.push_back(interval);
        } else if (t > 0) {
            const double coefficient = child_number(*row, "coeff", ok), error = child_number(*row, "OrdStd", ok);
            if (ok) intervals.push_back(Interval{child_text(*row, "name"), coefficient - t * error, coefficient,
                                                 coefficient + t * error});
        }
    }
    double given_level = 0;
    if (parse_number(child_text(element, "ConfIntval"), given_level)) level = format("%g", given_level);
    const std::string caption =
        limits_given ? "Each parameter with its " + level + "% confidence interval."
                     : "Each coefficient with its 95% confidence interval: coefficient +- t(0.975, " + format("%g", df) +
                           " df) x standard error.";
    return fields + record_table(rows) + interval_chart(intervals, "Estimates with confidence intervals", caption);
}

// Items (statistics rows): their fields as one table, charts by analysis, nested parts below.
std::string render_items(const XmlElement& element, const RenderContext& context, int depth) {
    std::vector<const XmlElement*> items;
    XmlElement fields;  // statistics beside the items (the paired differences)
    std::string rest;
    for (const XmlElement& c : element.children) {
        if (c.name == "Item")
            items.push_back(&c);
        else if (is_leaf(c))
            fields.children.push_back(c);
        else
            rest += render_element(c, context, depth + 1);
    }
    if (fields.children.size() > 1) {
        fields.name = element.name == "TTest2Tbl" ? "Differences" : "Statistics";
        rest = "<h" + std::to_string(std::min(depth + 1, 5)) + ">" + fields.name + "</h" +
               std::to_string(std::min(depth + 1, 5)) + ">\n" + record_table({&fields}) + rest;
    } else if (fields.children.size() == 1) {
        rest = render_element(fields.children[0], context, depth + 1) + rest;
    }
    std::string out = record_table(items);
    const std::string& kind = context.kind;
    const bool grouped = kind.compare(0, 5, "TTEST") == 0 || kind.compare(0, 5, "ANOVA") == 0;
    // One row beside its groups (the ANOVA's whole sample) needs no chart of its own.
    const bool charted = !grouped || items.size() > 1 || element.name == "TTest2Tbl" || element.name == "TTest3Tbl";
    if (kind != "Frequency" && charted) out += box_plot(boxes_of(items), grouped);
    if (grouped && charted)
        out += interval_chart(means_of(items), "Means with standard errors",
                              "Mean of each group or variable with one standard error (standard deviation / "
                              "square root of the cases) either side.");
    for (const XmlElement* item : items) {
        bool has_categories = false;
        for (const XmlElement& c : item->children) has_categories = has_categories || c.name == "CAT";
        if (!has_categories) continue;
        std::vector<const XmlElement*> categories;
        for (const XmlElement& c : item->children)
            if (c.name == "CAT") categories.push_back(&c);
        out += "<h4>" + escape(child_text(*item, "Name")) + "</h4>\n<div class=\"pair\">" + record_table(categories) +
               frequency_bars(*item) + "</div>\n";
    }
    return out + rest;
}


// A matrix of <line><cell> elements as a grid; header and row names when present.
Grid grid_of(const XmlElement& table, bool lower_triangle) {
    Grid grid;
    bool first = true;
    for (const XmlElement& line : table.children) {
        if (line.name != "line" || line.children.empty()) continue;
        const bool header = first && trim(line.children[0].text).empty();
        first = false;
        if (header) {
            for (size_t j = 1; j < line.children.size(); ++j) grid.column_labels.push_back(trim(line.children[j].text));
            continue;
        }
        double probe = 0;
        const bool named = !parse_number(line.children[0].text, probe);
        std::vector<double> values;
        for (size_t j = named ? 1 : 0; j < line.children.size(); ++j) {
            double v = 0;
            values.push_back(parse_number(line.children[j].text, v) ? v : std::nan(""));
        }
        if (named) grid.row_labels.push_back(trim(line.children[0].text));
        grid.values.push_back(values);
    }
    if (lower_triangle)  // mirror the missing upper triangle
        for (size_t i = 0; i < grid.values.size(); ++i)
            for (size_t j = i + 1; j < grid.values[i].size(); ++j)
                if (j < grid.values.size() && i < grid.values[j].size()) grid.values[i][j] = grid.values[j][i];
    return grid;
}

std::string crosstab_maps(const XmlElement& table, const RenderContext& context) {
    const XmlElement* result = context.result;
    Grid counts = grid_of(table, false);
    // The last row and column are the totals.
    if (counts.values.size() < 2) return "";
    counts.values.pop_back();
    for (auto& row : counts.values)
        if (!row.empty()) row.pop_back();
    counts.row_labels = texts_of(child(*result, "XcatName"));
    counts.column_labels = texts_of(child(*result, "YcatName"));
    if (counts.column_labels.size() < counts.values[0].size()) counts.column_labels.resize(counts.values[0].size());
    const XmlElement* names = child(*result, "VarName");
    const std::string title = names ? child_text(*names, "namex") + " by " + child_text(*names, "namey") : "";
    std::string out = heat_map(counts, false, "Heat map of the counts " + title,
                               "Cell counts: rows " + (names ? child_text(*names, "namex") : std::string("X")) +
                                   ", columns " + (names ? child_text(*names, "namey") : std::string("Y")) + ".");
    if (const XmlElement* expected_table = child(*result, "Tab2ExpectTbl")) {
        const Grid expected = grid_of(*expected_table, false);
        Grid residuals = counts;
        for (size_t i = 0; i < residuals.values.size(); ++i)
            for (size_t j = 0; j < residuals.values[i].size(); ++j) {
                const double e = i < expected.values.size() && j < expected.values[i].size() ? expected.values[i][j] : 0;
                residuals.values[i][j] = e > 0 ? (counts.values[i][j] - e) / std::sqrt(e) : std::nan("");
            }
        out += heat_map(residuals, true, "Heat map of the standardized residuals",
                        "Standardized residuals (count - expected) / square root of expected; red above, blue below "
                        "what independence predicts.");
    }
    return "<div class=\"pair\">" + out + "</div>";
}

std::string render_element(const XmlElement& element, const RenderContext& context, int depth) {
    static const std::map<std::string, std::string> kHeadings = {
        {"Equal", "Equal variances assumed"}, {"unEqual", "Equal variances not assumed"},
        {"TTESTSTAT", "t statistic"}, {"ANOVASTAT", "Analysis of variance"}, {"GROUPS", "Groups"},
        {"Chi2Tbl", "Chi-square tests"}, {"Tab2CellTbl", "Counts"}, {"Tab2TotcentTbl", "Percent of total"},
        {"Tab2RowcentTbl", "Row percent"}, {"Tab2ColcentTbl", "Column percent"}, {"Tab2ExpectTbl", "Expected counts"},
        {"CorrTbl", "Correlation matrix"}, {"EigenTbl", "Eigenvalues"}, {"LoadingTbl", "Loadings"},
        {"RotatedTbl", "Rotated loadings"}, {"VarianceTbl", "Variance explained"},
        {"RotVarianceTbl", "Variance explained after rotation"}, {"TwoTailTbl", "Two-tailed p-values"},
        {"pValTbl", "p-values"}, {"RankTbl", "Ranks"}, {"CompareTbl", "Multiple comparisons"},
        {"RankCorrTbl", "Rank correlations"}, {"DescTbl", "Statistics"}, {"FactorInf", "Extraction"},
        {"RegParaTbl", "Parameters"}, {"AnovaTbl", "Analysis of variance"}, {"IterLik", "Log likelihood by iteration"},
        {"LogLikHistory", "Log likelihood by iteration"},
        {"WaldTestTable", "Wald tests"}, {"CovParaTbl", "Covariance parameters"},
        {"PairFreqTbl", "Cases missing either variable"}, {"PercentTbl", "Percent of cases missing either variable"}};
    const auto known = kHeadings.find(element.name);
    const std::string level = std::to_string(std::min(depth, 5));
    const std::string heading = "<h" + level + " title=\"" + escape(element.name) + "\">" +
                                escape(known == kHeadings.end() ? element.name : known->second) + "</h" + level + ">\n";
    if (is_leaf(element)) {
        const std::string text = trim(element.text);
        if (text.empty()) return "";
        return "<p class=\"field\"><span class=\"key\">" + escape(element.name) + "</span>" +
               cell_html(text, is_p_value_name(element.name), "span") + "</p>\n";
    }
    if (element.name == "RegParaTbl") return heading + parameter_table(element, context, depth);
    if (is_line_table(element)) {
        // Lines of text only among lines with parts (a "<" a cut left behind) do not make the
        // table text: they are shown below it. Empty lines are left out.
        bool cells = true, records = false;
        XmlElement strays;
        for (const XmlElement& line : element.children) {
            if (line.name != "line" || (line.children.empty() && trim(line.text).empty())) continue;
            if (line.children.empty()) {
                strays.children.push_back(line);
                continue;
            }
            cells = cells && is_cell_line(line);
            records = true;
        }
        if (!records) return heading + text_lines(element);
        const std::string below = strays.children.empty() ? "" : text_lines(strays);
        if (cells) {
            std::vector<std::string> row_labels, column_labels;
            if (context.kind == "CrossTab2" && context.result && element.name.compare(0, 4, "Tab2") == 0) {
                row_labels = texts_of(child(*context.result, "XcatName"));
                column_labels = texts_of(child(*context.result, "YcatName"));
                row_labels.push_back("TOTAL");
                column_labels.push_back("TOTAL");
            }
            std::string out = heading + cell_table(element, is_p_value_name(element.name), row_labels, column_labels);
            if (element.name == "Tab2CellTbl" && context.result) out += crosstab_maps(element, context);
            if (element.name == "PercentTbl" && context.kind == "MisDiag")
                out = heading + "<div class=\"pair\">" + out.substr(heading.size()) +
                      heat_map(grid_of(element, true), false, "Heat map of missing values",
                               "Percent of the cases missing a value of the row variable or of the column variable "
                               "(of the variable itself on the diagonal); the darker the more.") +
                      "</div>\n";
            if (element.name == "CorrTbl" || element.name == "RankCorrTbl")
                out = heading + "<div class=\"pair\">" + out.substr(heading.size()) +
                      heat_map(grid_of(element, true), true, "Heat map of the matrix",
                               "Red for positive, blue for negative entries; the darker the larger in size.") +
                      "</div>\n";
            return out + below;
        }
        std::vector<const XmlElement*> rows;
        for (const XmlElement& line : element.children)
            if (line.name == "line" && !line.children.empty()) rows.push_back(&line);
        std::string out = heading + record_table(rows);
        if (element.name == "RankTbl") {
            // Group rows (Kruskal-Wallis, Mann-Whitney) or variable rows (Friedman).
            const bool by_variable = !rows.empty() && child(*rows.front(), "VarName");
            std::vector<Bar> bars;
            for (const XmlElement* line : rows) {
                bool ok = true;
                const double rank = child_number(*line, by_variable ? "RankMean" : "MeanRank", ok);
                if (ok) bars.push_back(Bar{child_text(*line, by_variable ? "VarName" : "GroupId"), rank, "bar"});
            }
            out += bar_chart(bars, "Mean ranks",
                             by_variable ? "Mean rank of each variable." : "Mean rank of each group.");
        }
        if (element.name == "LogLikHistory") {  // EM: the table beside its chart
            std::vector<std::pair<double, double>> points;
            for (const XmlElement* line : rows) {
                bool ok = true;
                const double iteration = child_number(*line, "Iteration", ok), value = child_number(*line, "LogLik", ok);
                if (ok) points.emplace_back(iteration, value);
            }
            out = heading + "<div class=\"pair\">" + out.substr(heading.size()) +
                  line_chart(points, "iteration", "Log likelihood by iteration",
                             "Observed-data log likelihood of the normal model at the estimates after each "
                             "iteration.") +
                  "</div>\n";
        }
        return out + below;
    }
    bool has_items = false;
    for (const XmlElement& c : element.children) has_items = has_items || c.name == "Item";
    if (has_items) return heading + render_items(element, context, depth);
    if (element.name == "EigenTbl") {
        std::vector<double> values;
        std::string out = heading + "<div class=\"pair\"><div class=\"scroll\"><table><thead><tr><th scope=\"col\">"
                                    "Component</th><th scope=\"col\">Eigenvalue</th></tr></thead>\n";
        for (const XmlElement& c : element.children) {
            double v = 0;
            if (parse_number(c.text, v)) values.push_back(v);
            out += "<tr><td class=\"num\">" + std::to_string(values.size()) + "</td>" + cell_html(c.text, false) +
                   "</tr>\n";
        }
        double cutoff = 0;
        const XmlElement* info = context.result ? child(*context.result, "FactorInf") : nullptr;
        const bool has_cutoff = info && parse_number(child_text(*info, "Cutoff"), cutoff);
        return out + "</table></div>" + scree_plot(values, cutoff, has_cutoff) + "</div>\n";
    }
    bool leaves = element.children.size() > 1;
    for (const XmlElement& c : element.children) leaves = leaves && is_leaf(c);
    bool repeated = false;
    for (size_t k = 1; k < element.children.size(); ++k) repeated = repeated || element.children[k].name == element.children[0].name;
    if (leaves && repeated) {  // name and value pairs, or a list
        const bool pairs = element.children.size() % 2 == 0 && element.children[0].name != element.children[1].name;
        std::string out = heading + "<div class=\"scroll\"><table>";
        for (size_t k = 0; k < element.children.size(); k += pairs ? 2 : 1)
            out += "<tr><th scope=\"row\">" + escape(trim(pairs ? element.children[k].text : element.children[k].name)) +
                   "</th>" + cell_html(element.children[pairs ? k + 1 : k].text, false) + "</tr>\n";
        return out + "</table></div>\n";
    }
    if (leaves) return heading + record_table({&element});
    // Anything else: its fields and parts in order, so nothing is lost.
    std::string out = heading + "<div class=\"group\">";
    if (child(element, "OneQRT") && child(element, "Name")) {  // a statistics row with parts (one-sample t-test)
        std::vector<const XmlElement*> self{&element};
        XmlElement fields;
        for (const XmlElement& c : element.children)
            if (is_leaf(c)) fields.children.push_back(c);
        out += record_table({&fields}) + box_plot(boxes_of(self), true);
        for (const XmlElement& c : element.children)
            if (!is_leaf(c)) out += render_element(c, context, depth + 1);
        return out + "</div>\n";
    }
    RenderContext inner = context;
    for (const XmlElement& c : element.children) {
        if (c.name == "AnovaTbl") inner.residual_df = residual_df_of(c);
        out += render_element(c, inner, depth + 1);
    }
    return out + "</div>\n";
}

const char kStyle[] = R"(
body{font:14px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;color:#1d2330;margin:0 auto;padding:16px;max-width:1100px}
h1{font-size:22px;margin:0 0 4px}h2{font-size:19px;border-bottom:2px solid #2f5d8a;padding-bottom:3px;margin-top:28px}
h3,h4,h5{font-size:15px;margin:16px 0 6px;color:#2f5d8a}
.warning{background:#fff1d6;border:1px solid #d8a02a;padding:8px 12px;border-radius:4px}
.info{color:#4a5466;margin:4px 0 12px}.info span{margin-right:18px}
.scroll{overflow-x:auto;max-width:100%}
table{border-collapse:collapse;margin:6px 0 12px;font-variant-numeric:tabular-nums}
th,td{border:1px solid #cfd6e0;padding:3px 8px;vertical-align:top}
thead th{background:#e8eef6;font-weight:600}th[scope=row]{background:#f5f7fa;text-align:left;font-weight:500}
td.num{text-align:right;white-space:nowrap}td.sig,span.sig{color:#b3261e;font-weight:700}
.field{margin:3px 0}.key{color:#4a5466;font-weight:600;margin-right:6px}
pre.message{background:#f5f7fa;padding:6px 10px;white-space:pre-wrap}
.pair{display:flex;flex-wrap:wrap;gap:18px;align-items:flex-start}
figure.chart{margin:6px 0 14px}figure.chart svg{max-width:100%;height:auto}
figcaption{font-size:12px;color:#4a5466}
svg text{font-size:11px;fill:#1d2330}svg text.small{font-size:9px}
.axis{stroke:#6b7485;stroke-width:1}.whisker{stroke:#2f5d8a;stroke-width:1.5}.median{stroke:#b3261e;stroke-width:2.5}
.box{fill:#bcd3ea;stroke:#2f5d8a}.bar{fill:#4f81b5}.bar.missing{fill:#a7adb8}.bar.outside{fill:#e08a1e}
.mark{fill:#b3261e}.series{fill:none;stroke:#2f5d8a;stroke-width:2}.cutoff{stroke:#b3261e;stroke-dasharray:6 4}
.note{color:#4a5466;font-size:12px}
@media print{@page{size:A4;margin:12mm}body{max-width:none;padding:0;font-size:10px}.scroll{overflow:visible}
table{page-break-inside:auto}tr{page-break-inside:avoid}figure.chart{page-break-inside:avoid}h2{page-break-after:avoid}}
@media (max-width:600px){body{padding:8px}th,td{padding:2px 4px}}
)";

// ---------------------------------------------------------------- JSON

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string json_value(const std::string& raw) {
    const std::string text = trim(raw);
    double value = 0;
    if (parse_number(text, value)) return format("%.17g", value);
    return json_string(text);
}

std::string json_element(const XmlElement& element);

// Children: a name that repeats (rows, cells, items, categories) becomes an array.
std::string json_children(const XmlElement& element) {
    if (all_named(element, "cell")) {
        std::string out = "[";
        for (size_t j = 0; j < element.children.size(); ++j)
            out += (j ? "," : "") + json_value(element.children[j].text);
        return out + "]";
    }
    std::vector<std::string> names;
    std::map<std::string, std::vector<const XmlElement*>> groups;
    for (const XmlElement& c : element.children) {
        if (groups[c.name].empty()) names.push_back(c.name);
        groups[c.name].push_back(&c);
    }
    std::string out = "{";
    bool first = true;
    for (const std::string& name : names) {
        const auto& members = groups[name];
        out += (first ? "" : ",") + json_string(name) + ":";
        first = false;
        const bool array = members.size() > 1 || name == "line" || name == "Item" || name == "CAT" || name == "cell";
        if (array) out += "[";
        for (size_t k = 0; k < members.size(); ++k) out += (k ? "," : "") + json_element(*members[k]);
        if (array) out += "]";
    }
    if (!trim(element.text).empty()) out += (first ? "" : ",") + std::string("\"text\":") + json_string(trim(element.text));
    return out + "}";
}

std::string json_element(const XmlElement& element) {
    return is_leaf(element) ? json_value(element.text) : json_children(element);
}

// Variable names of a run: the Name of its items, else the header row of its first matrix.
std::vector<std::string> variable_names(const XmlElement& result) {
    std::vector<std::string> names;
    std::vector<const XmlElement*> pending{&result};
    while (!pending.empty() && names.empty()) {
        std::vector<const XmlElement*> next;
        for (const XmlElement* e : pending)
            for (const XmlElement& c : e->children) {
                if (c.name == "Item" && child(c, "Name")) names.push_back(child_text(c, "Name"));
                next.push_back(&c);
            }
        pending.swap(next);
    }
    if (names.empty())
        for (const XmlElement& c : result.children)
            if (!c.children.empty() && c.children[0].name == "line" && is_cell_line(c.children[0])) {
                const XmlElement& header = c.children[0];
                for (size_t j = 1; j < header.children.size(); ++j) names.push_back(trim(header.children[j].text));
                break;
            }
    if (names.empty())
        if (const XmlElement* var_names = child(result, "VarName"))
            for (const XmlElement& c : var_names->children) names.push_back(trim(c.text));
    return names;
}

void write_xml(const XmlElement& element, std::string& out) {
    out += "<" + element.name;
    for (const auto& attribute : element.attributes) out += " " + attribute.first + "=\"" + escape(attribute.second) + "\"";
    if (element.children.empty() && element.text.empty()) {
        out += "/>\n";
        return;
    }
    // Leaves keep their text as written; containers only what is more than line breaks.
    out += ">" + escape(element.children.empty() ? element.text : trim(element.text));
    if (!element.children.empty()) out += "\n";
    for (const XmlElement& c : element.children) write_xml(c, out);
    out += "</" + element.name + ">\n";
}

bool read_file(const std::string& path, std::string& text, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

bool write_file(const std::string& path, const std::string& text, std::string& error) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

const char kViewUsage[] =
    "usage: rkstat view RUN.xml [-o OUTPUT] [--format html|json|xml]\n"
    "  renders a result document: html (default) is one self-contained page with tables and charts,\n"
    "  json the results as data (numbers as numbers), xml a well-formed copy. Without -o the output\n"
    "  goes to RUN.html (html) or standard output (json, xml). A document cut short renders what it\n"
    "  holds and says it is incomplete.\n"
    "  -o, --output FILE   where to write ('-' for standard output)\n"
    "  -h, --help          this text\n";

}  // namespace

std::string render_html(const ResultDocument& document, const std::string& title) {
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>" +
                      escape(title) + "</title><style>" + kStyle + "</style></head><body>\n<h1>" + escape(title) +
                      "</h1>\n";
    if (!document.complete)
        out += "<p class=\"warning\" role=\"alert\">This result document is incomplete: the run was interrupted or "
               "the file was cut short. What it holds is shown below.</p>\n";
    for (const XmlElement& result : document.root.children) {
        if (result.name != "RESULT") {
            out += render_element(result, RenderContext{}, 3);
            continue;
        }
        const std::string kind = child_text(result, "Analysis");
        const char* known = analysis_title(kind);
        out += "<section class=\"result\"><h2>" + escape(known ? known : kind.empty() ? "Result" : kind) + "</h2>\n";
        if (const XmlElement* info = child(result, "DataInf")) {
            out += "<p class=\"info\">";
            for (const XmlElement& field : info->children)
                out += "<span><span class=\"key\">" + escape(field.name) + "</span>" + escape(trim(field.text)) +
                       "</span>";
            out += "</p>\n";
        }
        RenderContext context{kind, &result};
        XmlElement items;  // statistics rows written straight into the result (frequency tables)
        items.name = "Variables";
        for (const XmlElement& part : result.children)
            if (part.name == "Item") items.children.push_back(part);
        if (!items.children.empty()) out += render_element(items, context, 3);
        for (const XmlElement& part : result.children) {
            if (part.name == "Analysis" || part.name == "DataInf" || part.name == "Item") continue;
            if (part.name == "XcatName" || part.name == "YcatName") {  // category names: a list
                out += "<p class=\"field\"><span class=\"key\">" + escape(part.name) + "</span> ";
                for (const std::string& name : texts_of(&part)) out += escape(name) + "; ";
                out += "</p>\n";
                continue;
            }
            out += render_element(part, context, 3);
        }
        out += "</section>\n";
    }
    if (document.root.children.empty()) out += "<p class=\"warning\">The document holds no results.</p>\n";
    return out + "</body></html>\n";
}

std::string render_json(const ResultDocument& document) {
    std::string out = "{\"complete\":" + std::string(document.complete ? "true" : "false") + ",\"results\":[";
    bool first = true;
    for (const XmlElement& result : document.root.children) {
        if (result.name != "RESULT") continue;
        out += first ? "\n" : ",\n";
        first = false;
        out += "{\"analysis\":" + json_string(child_text(result, "Analysis")) + ",\"variables\":[";
        const std::vector<std::string> names = variable_names(result);
        for (size_t i = 0; i < names.size(); ++i) out += (i ? "," : "") + json_string(names[i]);
        out += "],\"result\":" + json_children(result) + "}";
    }
    return out + "\n]}\n";
}

std::string render_xml(const ResultDocument& document) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
    if (!document.complete) out += "<!-- incomplete: the document was cut short -->\n";
    write_xml(document.root, out);
    return out;
}

bool write_html_report(const std::string& xml_path, const std::string& html_path, std::string& error) {
    std::string text;
    if (!read_file(xml_path, text, error)) return false;
    const size_t slash = xml_path.find_last_of('/');
    return write_file(html_path, render_html(read_result_document(text), xml_path.substr(slash + 1)), error);
}

int view_command(const std::vector<std::string>& args) {
    std::string input, output, form = "html";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kViewUsage, stdout);
            return 0;
        }
        if (arg == "-o" || arg == "--output" || arg == "--format") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "rkstat: %s needs a value\n(rkstat view --help shows the usage)\n", arg.c_str());
                return 2;
            }
            (arg == "--format" ? form : output) = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "rkstat: unknown option %s\n(rkstat view --help shows the usage)\n", arg.c_str());
            return 2;
        } else if (input.empty()) {
            input = arg;
        } else {
            std::fprintf(stderr, "rkstat: view takes one result document\n(rkstat view --help shows the usage)\n");
            return 2;
        }
    }
    if (input.empty() || (form != "html" && form != "json" && form != "xml")) {
        std::fprintf(stderr, "rkstat: %s\n(rkstat view --help shows the usage)\n",
                     input.empty() ? "view needs a result document" : ("unknown format " + form).c_str());
        return 2;
    }
    std::string text, error;
    if (!read_file(input, text, error)) {
        std::fprintf(stderr, "rkstat: %s\n", error.c_str());
        return 1;
    }
    const ResultDocument document = read_result_document(text);
    const size_t slash = input.find_last_of('/');
    std::string rendered;
    if (form == "html")
        rendered = render_html(document, input.substr(slash == std::string::npos ? 0 : slash + 1));
    else
        rendered = form == "json" ? render_json(document) : render_xml(document);
    if (output.empty() && form == "html") {
        const size_t dot = input.find_last_of('.');
        output = (dot != std::string::npos && (slash == std::string::npos || dot > slash) ? input.substr(0, dot)
                                                                                           : input) + ".html";
    }
    if (output.empty() || output == "-") {
        std::fwrite(rendered.data(), 1, rendered.size(), stdout);
    } else if (!write_file(output, rendered, error)) {
        std::fprintf(stderr, "rkstat: %s\n", error.c_str());
        return 1;
    }
    if (!document.complete) std::fprintf(stderr, "rkstat: warning: %s is incomplete\n", input.c_str());
    return 0;
}

}  // namespace quorix
