// The agent query methods: each builds one request, calls one agent entry point, catches all
// that the agent throws and reduces the outcome to a result code plus the answer. Used by the
// adapter enumeration and the flash entry point while the agent session is open; never throws.
#ifndef VXINS_ZNAJ_CXN_METHODS_H
#define VXINS_ZNAJ_CXN_METHODS_H

#include <json/json.h>

#include <string>

// Codes returned by every method: 0 on success, 1001 (INTERNAL_OPER_FAILED) for an error
// answer, a rejected answer shape, a standard or unknown exception; the agent's own errCode
// when it throws HbaAgentError. The out-parameter holds the agent's answer whenever the call
// returned one (also on 1001); on an exception it keeps its previous value.
class ZnajCxnMethods {
 public:
  ZnajCxnMethods() {}
  ~ZnajCxnMethods() {}

  // "getHbaByWwn" with {"mac": index} for a 17-character index, else {"wwn": index}; accepted
  // when the answer has "hbaData" and "driver".
  int getAdapterDetails(std::string index, Json::Value& adapter);
  // "getAdvAdapterData" with {"indexStr": index}; accepted when not null.
  int getAdvAdapterInfo(std::string index, Json::Value& flash_resp);
  // "getPortByWwn" with {"wwn": index}; accepted when not null.
  int getFcPortDetails(std::string index, Json::Value& fcport);
  // "getEthPortByEthMac" with {"mac": index}; accepted when "ethData" is an object.
  int getEthPortDetails(std::string index, Json::Value& port);
  // "getPortByWwn" keyed like getAdapterDetails; accepted when not null. Nothing calls it.
  int getPortDetails(std::string index, Json::Value& port);
  // The adapter's FC / Ethernet port list, then each port's details appended to portlist
  // (never cleared). 0 once the list was read, whatever the number of ports that failed.
  int getAllFcPortDetailsByAdapter(std::string index, Json::Value& portlist);
  int getAllEthPortDetailsByAdapter(std::string index, Json::Value& portlist);

  static ZnajCxnMethods* getZnajCxnMethodsInstance();

 private:
  static ZnajCxnMethods* m_znajCxnMethodsObj;
};

// A scalar of an agent answer read as JsonCpp's asString / asUInt / asInt read it: a number
// where text is expected gives JsonCpp's text of it, a double its integer part, null "" or 0, a
// bool "true"/"false" or 1/0. False, with out untouched, for a value that conversion refuses
// (would throw on), as JsonCpp's own isConvertibleTo() tells: the caller reports it.
bool qrvl_agent_scalar(const Json::Value& value, std::string& out);
bool qrvl_agent_scalar(const Json::Value& value, Json::UInt& out);
bool qrvl_agent_scalar(const Json::Value& value, Json::Int& out);

// The agent's adapter count ("getNumberOfAdapters"), logged. The agent may throw here: callers
// (the flash entry point) call it inside their own catch-all.
unsigned int qrvl_get_num_of_adapters();

#endif
