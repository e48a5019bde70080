// One-way and two-way analysis of variance for balanced designs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analyses/common/anova_table.h"
#include "datafile/rkd_format.h"
#include "frame/run_context.h"

namespace quorix {

// Groups (one-way) or cells (two-way) an analysis accepts.
constexpr int kMaxAnovaCells = 36;

// The drivers: 0 when done, -1 after a message on the log channel.
int one_way_anova(RunContext& context, int dependent, int factor);
int two_way_anova(RunContext& context, int dependent, int factor_a, int factor_b);


}  // namespace quorix
