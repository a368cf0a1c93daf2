// What the plug-in's integer result codes mean, in words an operator understands. Used by the
// command-line host to report a call; knows nothing about how the codes arise.
#ifndef VXINS_HOST_RESULT_CODES_H
#define VXINS_HOST_RESULT_CODES_H

#include <string>

namespace vxhost {

enum class Call { Discover, Flash };

struct ResultMeaning {
  std::string name;     // the symbolic name of the code ("VXINS_RC_..."), or "" when it has none
  std::string meaning;  // one sentence, no trailing full stop
};

// The meaning of `code` as returned by the given entry point. Never fails: a code outside the
// table is explained as a system error number or the agent library's own answer.
ResultMeaning describe_result(Call call, int code);

// Whether the entry point wrote the discovery file when it returned `code`: discovery's 0, the
// flash's 1, 3 and 8 (its rewrite, whatever became of the adapters).
bool writes_discovery_file(Call call, int code);

}  // namespace vxhost

#endif
