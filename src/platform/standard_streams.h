// The three standard descriptors. A process started with one of them closed
// would hand that number to the next file or socket it opens: the DN list
// would then be read from the directory connection, or progress and error
// lines written into it.
#pragma once

namespace varnel {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// nothing opened later can take its place. Returns false when one of them is
// closed and cannot be filled.
bool OpenClosedStandardStreams();

// A write to a connection the server has closed, or to an output pipe whose
// reader has gone, fails with EPIPE instead of killing the process: a run
// then ends its list the way it chooses (a lost connection is made again),
// never half-way through by a signal.
void IgnoreBrokenPipes();

// True when standard error is a terminal (where a status line may be drawn).
bool StandardErrorIsTerminal();

// True when standard output is a terminal (its lines then share the screen
// with a status line on standard error).
bool StandardOutputIsTerminal();

// True when standard input is a terminal (where a person types the DN list).
bool StandardInputIsTerminal();

// Standard input is a regular file.
bool StandardInputIsFile();

}  // namespace varnel
