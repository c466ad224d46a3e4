#include "diag/reporter.h"

namespace varnel {

std::ostream& EndLine(std::ostream& os) {
  os.put('\n');
  os.flush();
  return os;
}

}  // namespace varnel
