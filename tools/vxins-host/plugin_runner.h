// Loading and calling the plug-in the way the host framework does: dlopen, one entry point, one
// call with the operator's arguments, the integer result. Also where the plug-in and the agent
// library are looked for. Used by the command-line host's main; nothing here prints or throws.
#ifndef VXINS_HOST_PLUGIN_RUNNER_H
#define VXINS_HOST_PLUGIN_RUNNER_H

#include <string>
#include <vector>

namespace vxhost {

// The folder holding the running executable ("" when /proc/self/exe cannot be read).
std::string executable_dir();

// Default places of the plug-in, in the order they are tried: beside an installed vxins-host
// (bin/../lib/<arch>/libqrvlvxins.so), then in the build tree the executable was built in.
std::vector<std::string> default_plugin_candidates();
// The first candidate that exists, or "" when none does.
std::string find_default_plugin();
// The agent simulator shipped beside an installed vxins-host, or the build tree's; "" if none.
std::string find_bundled_simulator();

// The trace file the plug-in writes.
extern const char kTraceLogPath[];

// Makes the plug-in's dlopen("libdznaj.so") find the agent library in `dir`. The loader reads
// LD_LIBRARY_PATH only at process start, so the first time this re-executes the program with
// `dir` (made absolute) in front of LD_LIBRARY_PATH (and so does not return); in the
// re-executed process it sees its own mark and returns true. False, with the reason, when `dir`
// holds no readable libdznaj.so, has a name LD_LIBRARY_PATH cannot carry (':', ';', '$'), or the
// re-execution fails.
bool use_agent_dir(const std::string& dir, char** argv, std::string& error);

enum class EntryPoint { Discover, Flash };

// Loads the plug-in (RTLD_NOW | RTLD_LOCAL), calls the entry point once with the two paths and
// unloads it. False, with the loader's reason, when the plug-in or the entry point cannot be
// found; `result` is the plug-in's integer result otherwise.
bool call_plugin(const std::string& plugin_path, EntryPoint entry, const std::string& first,
                 const std::string& second, int& result, std::string& error);

}  // namespace vxhost

#endif
