// The program: its log, open from before main until the process exits, and
// one run over the command line.
#include "commands/arguments.h"
#include "commands/driver.h"
#include "lib/log.h"

Log app_log("Kervo_Dravelmonix.log", LOG_INFO);

int main(int argc, char** argv) { return run_command_line(join_arguments(argc, argv), app_log); }
