#include "analyses/factor/factor_model.h"

namespace quorix {

void report_factors(const FactorInput&) {}

}  // namespace quorix
