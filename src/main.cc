#include "cli/run_driver.h"
#include "platform/exit_status.h"
#include "platform/standard_streams.h"

int main(int argc, char** argv) {
  if (!varnel::OpenClosedStandardStreams()) return varnel::ToExitStatus(-1);
  return varnel::ToExitStatus(varnel::RunVarnel(argc, argv));
}
