#include "cli/run_driver.h"
#include "diag/outcome.h"
#include "platform/standard_streams.h"

int main(int argc, char** argv) {
  if (!varnel::OpenClosedStandardStreams()) return varnel::ExitStatus(varnel::Outcome::Varnel(-1));
  varnel::IgnoreBrokenPipes();
  return varnel::RunVarnel(argc, argv);
}
