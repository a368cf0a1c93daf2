// Loading and calling the plug-in the way the host framework does: dlopen, one entry point, one
// call with the operator's arguments, the integer result. Also where the plug-in, the agent
// library and what ships beside them are found. Used by the commands; never prints or throws.
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
// Places of the recorder's folder (the second libdznaj.so, installed privately beside the
// simulator's folder), in the order they are tried: installed, then the build tree's.
std::vector<std::string> bundled_recorder_candidates();
// The first of them that holds libdznaj.so, resolved; "" if none.
std::string find_bundled_recorder();
// The simulator's script replay-to-inventory.py, installed beside the simulator or in the source
// tree the executable was built from; "" if none.
std::string find_replay_script();

// `dir` made absolute as LD_LIBRARY_PATH can carry it (no ':', ';' or '$' in the name), or ""
// with the reason, which names it `what` ("the agent folder").
std::string loader_path_folder(const std::string& dir, const std::string& what,
                               std::string& error);
// --agent DIR as LD_LIBRARY_PATH can carry it: absolute, an existing folder holding a readable
// libdznaj.so, without ':', ';' or '$' in its name. False with the reason otherwise.
bool agent_folder(const std::string& dir, std::string& abs, std::string& error);

// The file the plug-in's dlopen("libdznaj.so") would load in this process: the same dlopen,
// made in a short-lived child process so that this one never maps the library (a second copy of
// that soname here would be the one the plug-in gets). Its absolute, resolved path, or false
// with the loader's reason.
bool find_agent_on_loader_path(std::string& path, std::string& error);

// Making the plug-in's dlopen("libdznaj.so") search `folders` (absolute) first. The loader
// reads LD_LIBRARY_PATH only at process start, so the program is re-executed with the folders in
// front of LD_LIBRARY_PATH and a mark of its own. True in the re-executed process (the mark is
// then cleared), false in the first one.
bool first_on_loader_path(const std::vector<std::string>& folders);
// Re-executes the program so (whatever else the call needs in the environment is set before);
// returns only when that fails, with the reason.
std::string reexecute_with_first_on_loader_path(const std::vector<std::string>& folders,
                                                char** argv);

enum class EntryPoint { Discover, Flash };

// Loads the plug-in (RTLD_NOW | RTLD_LOCAL), calls the entry point once with the two paths and
// unloads it. False, with the loader's reason, when the plug-in or the entry point cannot be
// found; `result` is the plug-in's integer result otherwise.
bool call_plugin(const std::string& plugin_path, EntryPoint entry, const std::string& first,
                 const std::string& second, int& result, std::string& error);

}  // namespace vxhost

#endif
