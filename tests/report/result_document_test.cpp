// The XML writers and the banner, checked against their formats.
#include <gtest/gtest.h>


#include "frame/channels.h"
#include "report/result_document.h"
#include "support/test_files.h"

namespace quorix {
namespace {

RunContext context_with_names(const std::vector<std::string>& names) {
    set_name_width(kLongNameWidth);
    RunContext context;
    context.path = "C:\\data\\survey.rkd";
    context.header.variable_count = static_cast<int32_t>(names.size());
    context.header.name_table.assign(names.size() * kLongNameWidth, '\0');
    for (size_t i = 0; i < names.size(); ++i) context.header.name_table.replace(i * kLongNameWidth, names[i].size(), names[i]);
    return context;
}

TEST(ResultDocument, MatrixCellsChooseTheirFormat) {
    const RunContext context = context_with_names({"a&b", "c", "d"});
    const int variables[] = {1, 2, 3};
    // (0,0) (1,0) (1,1) (2,0) (2,1) (2,2)
    const double packed[] = {1, 1e35, 12345.678, 123456789, -0.5, 9999.5};
    testing::XmlCapture xml;
    write_matrix_xml(variables, 3, packed, 0, context);
    EXPECT_EQ(xml.text(),
              "<line>\n<cell> </cell><cell>a&b</cell><cell>c</cell><cell>d</cell></line>\n"
              "<line><cell>a&b</cell><cell>    1.0000</cell><cell> </cell><cell> </cell></line>\n"
              "<line><cell>c</cell><cell>*</cell><cell>   12345.7</cell><cell> </cell></line>\n"
              "<line><cell>d</cell><cell>1.23457e+08</cell><cell>   -0.5000</cell><cell> 9999.5000</cell></line>\n"
              "<text/>\n");
}

TEST(ResultDocument, MatrixFormatChoicesOneAndTwo) {
    const RunContext context = context_with_names({"v"});
    const int variables[] = {1};
    for (const auto& [choice, value, cell] : {std::tuple{1, 2.3, "       2.3"}, {2, 0.125, "     0.125"},
                                              {1, 123456789.0, "1.23457e+08"}, {2, 123456789.0, "1.23457e+08"}}) {
        testing::XmlCapture xml;
        write_matrix_xml(variables, 1, &value, choice, context);
        EXPECT_NE(xml.text().find(std::string("<cell>") + cell + "</cell></line>"), std::string::npos) << cell;
    }
    testing::XmlCapture empty;
    write_matrix_xml(variables, 0, nullptr, 0, context);
    EXPECT_EQ(empty.text(), "<line>\n<cell> </cell></line>\n<text/>\n");
}

TEST(ResultDocument, CountMatrixRowsStartOnTheirOwnLine) {
    const RunContext context = context_with_names({"a", "b"});
    const int variables[] = {1, 2};
    const int32_t packed[] = {5, 3, 4};
    testing::XmlCapture xml;
    write_count_matrix_xml(context, variables, packed, 2);
    EXPECT_EQ(xml.text(),
              "<line>\n<cell>  </cell><cell>a</cell><cell>b</cell></line>\n"
              "<line>\n<cell>a</cell><cell>         5</cell><cell>  </cell></line>\n"
              "<line>\n<cell>b</cell><cell>         3</cell><cell>         4</cell></line>\n");
}

TEST(ResultDocument, AnovaRowLeavesNotApplicableCellsEmpty) {
    testing::XmlCapture xml;
    write_anova_row("Total", 29, 15.5, kNotApplicable, kNotApplicable, 0.0125);
    EXPECT_EQ(xml.text(),
              "<line>\n<sName>Total</sName>\n<SS>         15.500</SS>\n<DF>29</DF>\n"
              "<MeanSqr></MeanSqr>\n<fValue></fValue>\n<pValue>          0.013</pValue>\n</line>\n");
}

TEST(ResultDocument, HeadAndStatisticsBlock) {
    const RunContext context = context_with_names({"x"});
    testing::XmlCapture xml;
    ResultHead head;
    head.analysis = "TTEST1";
    head.title = "One-Sample";
    head.variable_count = 1;
    head.description_flag = 1;
    write_result_head(context, head);
    head.file_name = FileNameForm::bare;
    head.title = nullptr;
    head.description_flag = -1;
    write_result_head(context, head);
    head.file_name = FileNameForm::omitted;
    write_result_head(context, head);
    StatsRow row{};
    row[kStatCases] = 4;
    for (int i = kStatMean; i < kStatCount; ++i) row[i] = i + 0.25;
    write_stats_block(row);
    write_result_end();
    EXPECT_EQ(xml.text(),
              "<RESULT RTYPE=\"GENSTAT\">\n<Analysis>TTEST1</Analysis>\n<DataInf>\n<anaName>One-Sample</anaName>\n"
              "<nVar>1</nVar>\n<FileName>\"C:\\data\\survey.rkd\"</FileName>\n<ISDESC>1</ISDESC>\n</DataInf>\n"
              "<RESULT RTYPE=\"GENSTAT\">\n<Analysis>TTEST1</Analysis>\n<DataInf>\n<nVar>1</nVar>\n"
              "<FileName>C:\\data\\survey.rkd</FileName>\n</DataInf>\n"
              "<RESULT RTYPE=\"GENSTAT\">\n<Analysis>TTEST1</Analysis>\n<DataInf>\n<nVar>1</nVar>\n</DataInf>\n"
              "<Cases>    4</Cases>\n<Mean>          2.250</Mean>\n<Sum>          3.250</Sum>\n"
              "<SSQRE>          4.250</SSQRE>\n<STD>          5.250</STD>\n<Median>          6.250</Median>\n"
              "<OneQRT>          7.250</OneQRT>\n<ThirdQRT>          8.250</ThirdQRT>\n<Min>          9.250</Min>\n"
              "<Max>         10.250</Max>\n<Range>         11.250</Range>\n<Skewness>         12.250</Skewness>\n"
              "<Kurtosis>         13.250</Kurtosis>\n</RESULT>\n");
}

TEST(ResultDocument, BannerHasTheCtimeLayout) {
    std::string text = "x";
    const int length = report_banner(text);
    EXPECT_EQ(length, static_cast<int>(text.size()) - 1);
    const std::string head = "x\nVOR 6.1       ";
    ASSERT_EQ(text.size(), head.size() + 24 + 2) << text;
    EXPECT_EQ(text.compare(0, head.size(), head), 0) << text;
    EXPECT_TRUE(testing::looks_like_ctime(text, head.size())) << text;
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
    EXPECT_EQ(testing::mask_banner_time(text), "x\nVOR 6.1       <time>\n\n");
}

}  // namespace
}  // namespace quorix
