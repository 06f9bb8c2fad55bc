#include "chronelle/model/NodeBillingOption.h"

#include "chronelle/platform/Localizer.h"

namespace chronelle {

const char* NodeBillingOption::descriptionKey() const {
  switch (kind_) {
    case Kind::inherited:
      return isBillable_ ? "Billable (inherited)" : "Non-Billable (inherited)";
    case Kind::billable:
      return "Billable";
    case Kind::nonBillable:
      break;
  }
  return "Non-Billable";
}

std::string NodeBillingOption::description() const {
  return Localizer::localizedString(descriptionKey());
}

}  // namespace chronelle
