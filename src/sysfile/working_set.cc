// SPDX-License-Identifier: MIT
#include "sysfile/working_set.h"

namespace datlift {

Bytes WorkingSet::instance(Instance id) {
  switch (id) {
    case Instance::short_header:
      return short_header;
    case Instance::long_header:
      return long_header;
    case Instance::axis_records_584:
      return axis_records_584;
    case Instance::axis_records_676:
      return axis_records_676;
    case Instance::axis_records_680:
      return axis_records_680;
    case Instance::names_39:
      return names_39;
    case Instance::names_40:
      return names_40;
    case Instance::general_25:
      return general_25;
    case Instance::general_28:
      return general_28;
    case Instance::table_a_14:
      return table_a_14;
    case Instance::table_a_32_v200:
      return table_a_32_v200;
    case Instance::table_a_32_v210:
      return table_a_32_v210;
    case Instance::table_b_9:
      return table_b_9;
    case Instance::table_b_16:
      return table_b_16;
  }
  return {};
}

}  // namespace datlift
