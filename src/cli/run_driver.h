// The program's entry: runs the command-line stage and hands the settled run
// over to the directory start-up. Returns the process exit status.
#pragma once

namespace varnel {

struct RunEnvironment;

// Runs against the given environment (tests hand in fakes).
int RunVarnel(int argc, char** argv, RunEnvironment& environment);

// Runs against the system: libldap, standard input, the LDAP object service.
int RunVarnel(int argc, char** argv);

}  // namespace varnel
