#include "analyses/common/anova_table.h"

#include <vector>

#include "frame/channels.h"
#include "numeric/distributions.h"

namespace quorix {

int anova_banner(std::string& text, const FileHeader& header, int first, int second, int third) {
    const size_t start = text.size();
    std::string stars = " **************";
    if (second >= 0) stars += "      **************";
    if (third >= 0) stars += "     **************";
    text += "\n";
    text += stars + "\n";
    append_printf(text, " *  %-9s *", variable_name(header, first + 1).c_str());
    if (second >= 0) append_printf(text, "  by  *  %-9s *", variable_name(header, second + 1).c_str());
    if (third >= 0) append_printf(text, " and *  %-9s *", variable_name(header, third + 1).c_str());
    text += "\n";
    text += stars + "\n";
    return static_cast<int>(text.size() - start);
}

int anova_table_text(std::string& text, const std::string* labels, const double* ss, const int* df, const double* ms,
                     const double* f, int rows) {
    if (rows < 1) return 0;
    std::vector<double> p(static_cast<size_t>(rows));
    std::vector<int> error_df(static_cast<size_t>(rows), df[rows - 1]);
    f_upper_p_each(rows - 1, df, error_df.data(), f, p.data());
    return anova_table_text(text, labels, ss, df, ms, f, p.data(), rows);
}

int anova_table_text(std::string& text, const std::string* labels, const double* ss, const int* df, const double* ms,
                     const double* f, const double* p, int rows) {
    if (rows < 1) return 0;
    // A row label has an 11-character slot; longer names are cut there.
    auto label = [labels](int r) { return labels[r].substr(0, 11); };
    const size_t start = text.size();
    const std::string rule = std::string(67, '_') + "\n";
    text += "\n\n                       ANALYSIS OF VARIANCE\n";
    text += "                       ====================\n\n";
    text += "Source         SUM OF SQUARES    DF  MEAN SQUARES        F        p\n";
    text += rule;
    const int last = rows - 1;
    double total_ss = 0;
    int total_df = 0;
    for (int r = 0; r < rows; ++r) {
        total_ss += ss[r];
        total_df += df[r];
        if (r < last)
            append_printf(text, "%-11s% 18.3lf %5d %13.3lf %8.3lf %8.3f\r\n", label(r).c_str(), ss[r], df[r], ms[r],
                          f[r], p[r]);
        else
            append_printf(text, "%-11s% 18.3lf %5d %13.3lf\r\n", label(r).c_str(), ss[r], df[r], ms[r]);
    }
    append_printf(text, "TOTAL      %18.3lf %5d\r\n", total_ss, total_df);
    text += rule;
    return static_cast<int>(text.size() - start);
}

}  // namespace quorix
