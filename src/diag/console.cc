#include "diag/console.h"

namespace varnel {
namespace {
ConsoleFlags g_flags;
}  // namespace

void SetConsoleFlags(ConsoleFlags flags) { g_flags = flags; }
bool Quiet() { return g_flags.quiet; }
bool Debug() { return g_flags.debug; }

std::ostream& EndLine(std::ostream& os) {
  os.put('\n');
  os.flush();
  return os;
}

}  // namespace varnel
