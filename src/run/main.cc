#include "run/file_layer.h"
#include "run/run_sequence.h"

int main(int argc, char** argv) {
  // The whole working set of a run: fixed storage, zero at start.
  static datlift::Workspace space;
  datlift::prepare_process();
  datlift::FileLayer files;
  datlift::StdoutSink out;
  datlift::Console console(out);
  const int args = argc > 0 ? argc - 1 : 0;
  return datlift::run_datlift(args, argv == nullptr ? nullptr : argv + 1, files, console, space);
}
