// rkstat view: written text is repaired into well-formed XML; every golden result
// document renders with the charts of its analysis; cut or hostile documents still
// render. That the pages are valid HTML holding each number is checked with an HTML
// parser by check-html-pages.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "report_view.h"
#include "support/test_files.h"

namespace quorix {
namespace {

// True when an XML parser reads the text whole (empty text: a document cut before its root).
bool well_formed(const std::string& text) {
    pugi::xml_document parsed;
    return text.empty() || parsed.load_buffer(text.data(), text.size()).status == pugi::status_ok;
}

// Charts each golden run draws (box plots, bars, means, heat maps, scree plots).
const std::pair<const char*, int> kCharts[] = {
    {"anova/plantgrowth", 2},        {"anova/toothgrowth", 2},         {"correlation/alpha", 1},
    {"correlation/twelve_variables", 1}, {"crosstab/cyl_carb", 2},     {"crosstab/hair_eye_all", 2},
    {"crosstab/hair_eye_sex", 0},    {"descriptive/selection", 1},     {"descriptive/ten_variables", 1},
    {"factor/every_option", 2},      {"factor/no_options", 2},         {"frame/ten_variables", 0},
    {"frequency/labels", 2},         {"frequency/plain", 1},           {"nonparametric/pairwise", 6},
    {"ttest/independent", 2},        {"ttest/one_sample", 1},          {"ttest/paired", 2},
    {"regression/standard", 1},      {"regression/forward", 3},        {"regression/backward", 3},
    {"regression/hierarchical", 5},  {"regression/matrix_input", 1},   {"glm/toothgrowth", 1},
    {"glm/factorial", 1},            {"missing/diagnosis", 2},         {"missing/em", 1},
    {"missing/mean_imputation", 0},  {"missing/regression_imputation", 1}};

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(ReportView, GoldenDocumentsRenderTheirCharts) {
    for (const auto& [name, charts] : kCharts) {
        const std::string golden = testing::read_text(std::string(QUORIX_GOLDEN_DIR) + "/" + name + ".txt");
        const std::string xml = testing::section(golden, "xml");
        const ResultDocument document = read_result_document(xml);
        EXPECT_TRUE(document.complete) << name;
        const std::string page = render_html(document, name);
        EXPECT_TRUE(well_formed(render_xml(document))) << name;
        EXPECT_EQ(count(page, "<svg"), static_cast<size_t>(charts)) << name;
        EXPECT_EQ(page.find("incomplete"), std::string::npos) << name;
        // Regression coefficients get 95% intervals from t(0.975, 27 df) = 2.051830516 (R: qt(0.975, 27)).
        if (std::string(name) == "regression/standard") {
            EXPECT_NE(page.find("Intercept: 27.33 (9.60424 to 45.0558)"), std::string::npos);
        }
        // The well-formed copy reads back to the same results.
        EXPECT_EQ(render_json(read_result_document(render_xml(document))), render_json(document)) << name;
    }
}

// The repair before parsing: text as the engine writes it or a cut run leaves it,
// the well-formed text the parser reads, and whether the document is whole.
const struct {
    const char* written;
    const char* repaired;
    bool complete;
} kRepairs[] = {
    {"<R><N>a<b & c</N>", "<R><N>a&lt;b &amp; c</N></R>", true},
    {"<R><N>a<b>c</N></R>", "<R><N>a&lt;b>c</N></R>", true},
    {"<R><N> <</N><M>&lt;&#65;</M></R>", "<R><N> &lt;</N><M>&lt;&amp;#65;</M></R>", true},
    {"<?xml version=\"1.0\"?>\n<R a='x&y\"'><!-- c --></x>1</R>tail<S/>", "<R a=\"x&amp;y&quot;\">&lt;/x>1</R>", true},
    {"<R><RESULT><N>1</N><M", "<R><RESULT><N>1</N></RESULT></R>", false},
    {"<R><RESULT><N>1", "<R><RESULT><N>1</N></RESULT></R>", false},
    {"<R><N>1</N><!-- cut", "<R><N>1</N></R>", false},
};

TEST(ReportView, WrittenTextIsRepairedBeforeParsing) {
    for (const auto& repair : kRepairs) {
        const RepairedText repaired = repair_result_text(repair.written);
        EXPECT_EQ(repaired.text, repair.repaired) << repair.written;
        EXPECT_EQ(repaired.complete, repair.complete) << repair.written;
        EXPECT_EQ(read_result_document(repair.written).complete, repair.complete) << repair.written;
    }
}

TEST(ReportView, CutAndHostileDocumentsRender) {
    const std::string golden = testing::read_text(std::string(QUORIX_GOLDEN_DIR) + "/crosstab/hair_eye_all.txt");
    const std::string xml = testing::section(golden, "xml");
    const size_t result_start = xml.find("<RESULT ");
    for (size_t cut = 0; cut < xml.size(); cut += 7) {
        ASSERT_TRUE(well_formed(repair_result_text(xml.substr(0, cut)).text)) << "cut at " << cut;
        const ResultDocument document = read_result_document(xml.substr(0, cut));
        if (cut > result_start) {
            EXPECT_FALSE(document.complete) << "cut at " << cut;
        }
        EXPECT_EQ(render_html(document, "cut").find("incomplete") == std::string::npos, document.complete)
            << "cut at " << cut;
    }
    // Names with "<", "&" and a tag-like path, written unescaped, and an unknown analysis.
    const ResultDocument document =
        read_result_document(testing::read_text(std::string(QUORIX_TEST_DATA_DIR) + "/tools/hostile.xml"));
    EXPECT_TRUE(document.complete);
    EXPECT_TRUE(well_formed(render_xml(document)));
    EXPECT_NE(render_json(document).find("\"x\":1.5"), std::string::npos);
    // Nesting without end: read and rendered without exhausting the stack.
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    EXPECT_TRUE(well_formed(render_xml(read_result_document(deep))));
    EXPECT_NE(render_html(read_result_document(deep), "deep").find("</html>"), std::string::npos);
}

}  // namespace
}  // namespace quorix
