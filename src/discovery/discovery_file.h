// The discovery file, owned by the discovery subsystem: written by the discovery entry point,
// read back and rewritten with the outcome by the flash entry point. Records it creates belong
// to the caller's list (freed by qrvl_free_device_list); a failed write keeps the previous file.
#ifndef VXINS_DISCOVERY_DISCOVERY_FILE_H
#define VXINS_DISCOVERY_DISCOVERY_FILE_H

#include <set>
#include <string>
#include <vector>

#include "qrvl_device.h"

// Writes the discovery file for dev_list (null entries are logged and skipped). The document is
// written to a new temporary file beside file_name and takes its name only when every write,
// the flush and the sync succeeded; otherwise the cause is logged and any earlier file_name is
// left as it was. True when file_name now holds the new document.
bool write_to_xmlfile(std::string file_name, std::vector<CQrvlDevice*>& dev_list);

// Rewrites the discovery file after a flash, the same way as write_to_xmlfile, with the
// outcome in every fw_item: act_status_val 1 is written "1", -1 as "", any other as its number;
// version, firmware_file and active_version take the old_* values; action is "Skip" for a
// device whose MAC address or WWN is in skipped_ids (the devices set to skip in the file read
// back), else the record's own action. When the rewrite fails the earlier file is removed where
// possible, so that no file reports an outcome this call did not have; false then.
bool modify_and_write_to_xmlfile(std::string file_name, std::vector<CQrvlDevice*>& dev_list,
                                 int act_status_val, std::string old_fw_ver_val,
                                 std::string old_fw_file_name, std::string old_active_ver_val,
                                 const std::set<std::string>& skipped_ids);

// Appends one new record per device element of the file to dev_list_vector. 0 (also when the
// file cannot be read: then nothing is appended), or 1001 when file_name is empty or a leaf the
// reader fills cannot be read for sure (its value split over lines, unquoted, under another
// attribute, twice in one device, on a line with other markup, in the wrong section, or an
// unclosed comment): the whole file is refused rather than guessed at, the cause is logged
// and, when refusal is given, put there as "line N (device K): why".
int read_from_xmlfile(std::string file_name, std::vector<CQrvlDevice*>& dev_list_vector,
                      std::string* refusal = nullptr);

#endif
