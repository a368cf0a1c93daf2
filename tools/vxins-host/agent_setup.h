// Where the plug-in's agent library comes from in one discover or flash: --agent DIR and
// --record FILE turned into folders in front of LD_LIBRARY_PATH and the recorder's variables, and
// after the call what the recording gained. Used by those two commands; prints nothing, no throw.
#ifndef VXINS_HOST_AGENT_SETUP_H
#define VXINS_HOST_AGENT_SETUP_H

#include <sys/types.h>

#include <json/json.h>

#include <string>

#include "command_line.h"

namespace vxhost {

struct AgentSetup {
  std::string agent_dir;  // --agent DIR, absolute; "" without
  // --record only ("" without): the recorder's libdznaj.so, the real agent library it forwards
  // to (DZNAJ_RECORD_TARGET) and the recording (DZNAJ_RECORD_FILE), all absolute.
  std::string recorder, target, recording;
};

// In the first process: checks the options, finds the libraries, sets the environment and
// re-executes the program with it (so returns only on failure, false with the reason). In the
// re-executed process, and without --agent and --record: true, `s` filled.
bool set_up_agent(const Options& o, char** argv, AgentSetup& s, std::string& error);

// What one call added to a recording.
struct RecordedCalls {
  int sessions = 0;  // header lines: one per load of the recorder
  int calls = 0;     // call lines
  Json::Value agent_version;  // the last header's "agentVersion" (null when none)
};

// The size of the recording now (0 when it does not exist yet): where this call's lines start.
off_t recording_size(const std::string& path);
// Reads the lines written to the recording from `from` on. False with the reason when it cannot
// be read; a line that is not JSON is not counted.
bool read_recorded(const std::string& path, off_t from, RecordedCalls& out, std::string& error);

}  // namespace vxhost

#endif
