#include "cli/run_driver.h"
#include "platform/exit_status.h"

int main(int argc, char** argv) { return varnel::ToExitStatus(varnel::RunVarnel(argc, argv)); }
