#include "analyses/common/variable_filter.h"

#include <algorithm>

#include "frame/channels.h"

namespace quorix {

namespace {

bool is_alphanumeric(int variable, const RunContext& context) {
    return variable >= 1 && static_cast<size_t>(variable) <= context.dictionary.size() &&
           context.dictionary[static_cast<size_t>(variable) - 1].type == 1;
}

}  // namespace

int drop_alphanumeric(std::vector<int>& variables, const char* label, const RunContext& context) {
    const size_t before = variables.size();
    variables.erase(std::remove_if(variables.begin(), variables.end(),
                                   [&context](int v) { return is_alphanumeric(v, context); }),
                    variables.end());
    const size_t removed = before - variables.size();
    if (removed == 0) return static_cast<int>(variables.size());
    if (variables.empty())
        channel_printf(kLogChannel, " %s %s", label, "variables are all alphanumeric.\n");
    else if (removed == 1)
        channel_printf(kLogChannel, " one %s variable is alphanumeric.\n", label);
    else
        channel_printf(kLogChannel, " %d %s %s\n", static_cast<int>(removed), label, "variables are alphanueric.");
    return static_cast<int>(variables.size());
}

int check_numeric_variable(int variable, const char* label, const RunContext& context) {
    if (!is_alphanumeric(variable, context)) return 1;
    channel_printf(kLogChannel, " %s is alphanumeric variable.\n", label);
    return 0;
}

}  // namespace quorix
