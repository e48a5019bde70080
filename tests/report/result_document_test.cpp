// The XML writers' forms the golden runs do not show: matrix cells of every
// format, count matrices, and the heads with a bare or no file name.
#include <gtest/gtest.h>

#include "frame/channels.h"
#include "report/result_document.h"
#include "support/test_files.h"

namespace quorix {
namespace {

RunContext context_with_names(const std::vector<std::string>& names) {
    RunContext context = testing::context_with_names(names);
    context.path = "C:\\data\\survey.rkd";
    return context;
}

TEST(ResultDocument, MatrixCellsChooseTheirFormat) {
    const RunContext context = context_with_names({"a&b", "c", "d"});
    const int variables[] = {1, 2, 3};
    const double packed[] = {1, 1e35, 12345.678, 123456789, -0.5, 9999.5};  // (0,0) (1,0) (1,1) (2,0) (2,1) (2,2)
    testing::XmlCapture xml;
    write_matrix_xml(variables, 3, packed, 0, context);
    EXPECT_EQ(xml.text(),
              "<line>\n<cell> </cell><cell>a&b</cell><cell>c</cell><cell>d</cell></line>\n"
              "<line><cell>a&b</cell><cell>    1.0000</cell><cell> </cell><cell> </cell></line>\n"
              "<line><cell>c</cell><cell>*</cell><cell>   12345.7</cell><cell> </cell></line>\n"
              "<line><cell>d</cell><cell>1.23457e+08</cell><cell>   -0.5000</cell><cell> 9999.5000</cell></line>\n"
              "<text/>\n");
    for (const auto& [choice, value, cell] : {std::tuple{1, 2.3, "       2.3"}, {2, 0.125, "     0.125"},
                                              {1, 123456789.0, "1.23457e+08"}, {2, 123456789.0, "1.23457e+08"}}) {
        testing::XmlCapture one;
        write_matrix_xml(variables, 1, &value, choice, context);
        EXPECT_NE(one.text().find(std::string("<cell>") + cell + "</cell></line>"), std::string::npos) << cell;
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

TEST(ResultDocument, HeadsWithABareOrNoFileName) {
    const RunContext context = context_with_names({"x"});
    testing::XmlCapture xml;
    ResultHead head;
    head.analysis = "TTEST1";
    head.variable_count = 1;
    head.file_name = FileNameForm::bare;
    write_result_head(context, head);
    head.file_name = FileNameForm::omitted;
    write_result_head(context, head);
    EXPECT_EQ(xml.text(),
              "<RESULT RTYPE=\"GENSTAT\">\n<Analysis>TTEST1</Analysis>\n<DataInf>\n<nVar>1</nVar>\n"
              "<FileName>C:\\data\\survey.rkd</FileName>\n</DataInf>\n"
              "<RESULT RTYPE=\"GENSTAT\">\n<Analysis>TTEST1</Analysis>\n<DataInf>\n<nVar>1</nVar>\n</DataInf>\n");
}

}  // namespace
}  // namespace quorix
