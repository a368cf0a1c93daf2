// The agent query methods: each builds one request, calls one agent entry point through
// guarded_call, and reduces the outcome to a result code plus the answer, logging the method's
// own contractual lines. Used by the adapter enumeration while the session is open.
#ifndef VXINS_AGENT_QUERIES_H
#define VXINS_AGENT_QUERIES_H

#include <json/json.h>

#include <string>

namespace vxins {
namespace agent {

// Codes: 0 on success; 1001 for an error answer, a rejected answer shape, a standard or unknown
// exception; the agent's own errCode when it throws HbaAgentError. The out-parameter holds the
// agent's answer whenever the call returned one (also on 1001); on an exception it keeps its
// previous value.

// "getHbaByWwn" with {"mac": index} for a 17-character index, else {"wwn": index}; accepted
// when the answer has "hbaData" and "driver".
int adapter_details(const std::string& index, Json::Value& adapter);
// "getAdvAdapterData" with {"indexStr": index}; accepted when not null.
int advanced_adapter_info(const std::string& index, Json::Value& answer);
// "getPortByWwn" with {"wwn": index}; accepted when not null.
int fc_port_details(const std::string& index, Json::Value& port);
// "getEthPortByEthMac" with {"mac": index}; accepted when "ethData" is an object.
int eth_port_details(const std::string& index, Json::Value& port);
// The adapter's FC / Ethernet port list, then each port's details appended to ports (never
// cleared). 0 once the list was read, whatever the number of ports that failed.
int all_fc_port_details(const std::string& index, Json::Value& ports);
int all_eth_port_details(const std::string& index, Json::Value& ports);

}  // namespace agent
}  // namespace vxins

#endif
