// Reading the discovery file back into device records, as the flash sequence (and vxins-host's
// show, set-action and pre-flash check) must: what cannot be read for sure refuses the whole
// file rather than being guessed at. Records it creates belong to the caller's list.
#ifndef VXINS_DISCOVERY_DISCOVERY_READER_H
#define VXINS_DISCOVERY_DISCOVERY_READER_H

#include <cstddef>
#include <string>
#include <vector>

#include "inventory/device_record.h"
#include "log/log.h"

namespace vxins {
namespace discovery {

// Where a leaf's value stands in the file's text, between its quotes, as written: what an
// editor replaces to set it. found is false when there is no such leaf.
struct ValueSpan {
  bool found = false;
  size_t offset = 0, length = 0;  // in bytes of the text
};

// Where and why a file was refused. why is empty when it was not.
struct Refusal {
  size_t line = 0;          // 1-based
  unsigned int device = 0;  // the device element's position (from 1); 0 outside any
  std::string device_id;    // that element's macaddress value, when one of its lines holds one
  std::string why;
  ValueSpan unknown_action;  // found when the refusal is an action word naming no action
};

// What a reading saw besides the records, for a caller that shows or edits the file.
struct ReadReport {
  Refusal refusal;
  std::vector<ValueSpan> action_values;  // per record appended: its action leaf's value
  std::string takes_effect;              // the first takes_effect leaf's value, "" when none
};

// Appends one new record per device element of the file to devices. 0 (also when the file
// cannot be read: then nothing is appended), or 1001 when path is empty or a leaf the reader
// fills cannot be read for sure (its value split over lines, unquoted, under another attribute,
// twice in one device, on a line with other markup or a device/fw_item tag, in the wrong
// section, an action word naming no action, or a comment never closed): the cause is logged as
// "line N (device K): why" and, when report is given, put there. Quiet, nothing at all is
// logged.
int read_discovery_file(const std::string& path, inventory::DeviceList& devices,
                        log::Trace trace = log::Trace::kLogged, ReadReport* report = nullptr);

// The same over a file's text already in memory; `name` is the file the trace names.
int read_discovery_text(const std::string& name, const std::string& text,
                        inventory::DeviceList& devices, log::Trace trace,
                        ReadReport* report = nullptr);

// Where and why read_device could not read a device element.
struct LeafFault {
  size_t line_index = 0;  // into the device lines, then on into the firmware lines
  std::string why;
  bool action_word = false;  // the fault is an action word naming no action
};

// Where a leaf stands among a device element's lines: the line (as LeafFault counts them) and
// its value's characters on it, [value_begin, value_end).
struct LeafPlace {
  size_t line_index = 0;
  size_t value_begin = 0, value_end = 0;
};

// Fills a record's fields from the lines of one device element (its device section and its
// fw_item section): 0, or 1001 with fault filled at the first line that cannot be read, repeats
// a leaf or names no action. Lines without a leaf the reader fills are logged as unknown and
// skipped. action, when given, receives where the action leaf stands (also when its word names
// no action), or stays as it was when there is none.
int read_device(const std::vector<std::string>& device_lines,
                const std::vector<std::string>& firmware_lines, inventory::DeviceRecord& record,
                LeafFault* fault = nullptr, log::Trace trace = log::Trace::kLogged,
                LeafPlace* action = nullptr);

}  // namespace discovery
}  // namespace vxins

#endif
