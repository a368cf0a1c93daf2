// Reading the members of one adapter's agent answers for the enumeration, and the PCI address
// text of a port. The agent is not trusted: a member the conversion refuses is logged (naming
// the member and the adapter) and reported, never thrown.
#ifndef VXINS_INVENTORY_ANSWER_READER_H
#define VXINS_INVENTORY_ANSWER_READER_H

#include <json/json.h>

#include <cstdint>
#include <string>

namespace vxins {
namespace inventory {

// Scalars are read as JsonCpp's asString / asUInt convert them (10 where text is expected
// reads "10", 2.0 where a count is expected reads 2, null reads "" or 0); a missing member
// reads as empty text or 0. Each reader answers false for a value that conversion refuses.
class AnswerReader {
 public:
  AnswerReader(int adapter_number, const std::string& adapter_index)
      : adapter_number_(adapter_number), adapter_index_(adapter_index) {}

  // The member object of obj, or null when obj is null or lacks the member.
  bool object(const Json::Value* obj, const char* member, const std::string& where,
              const Json::Value*& out) const;
  bool text(const Json::Value* obj, const char* member, const std::string& where,
            std::string& out) const;
  bool number(const Json::Value* obj, const char* member, const std::string& where,
              uint32_t& out) const;
  // Logs that `where` is not what was expected; always false.
  bool wrong_type(const std::string& where, const char* expected) const;

 private:
  int adapter_number_;
  const std::string& adapter_index_;
};

// Bus, device and function text of a PCI hardware path "domain:bus:device.function"; the bus
// loses one leading zero ("0a" -> "a"). A path cut short yields the fields it has and empty
// text for the rest ("0000:0a" -> "a", "", ""); a path without ":" yields three empty texts.
void parse_hardware_path(const std::string& path, std::string& bus, std::string& dev,
                         std::string& fn);

}  // namespace inventory
}  // namespace vxins

#endif
